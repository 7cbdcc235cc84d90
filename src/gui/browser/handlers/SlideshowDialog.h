#pragma once

#include "browser/handlers/Slideshow.h"

#include <QDialog>

class QDoubleSpinBox;
class QRadioButton;

// "Slideshow": which files of the list, the slide time and the order; Play accepts.
class CSlideshowDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit CSlideshowDialog(const SSlideshowSettings& settings, QWidget* parent = nullptr);

    SSlideshowSettings Settings() const;

    QRadioButton* AllButton() const { return m_pAll; }
    QRadioButton* SelectedButton() const { return m_pSelected; }
    QRadioButton* CheckedButton() const { return m_pChecked; }
    QDoubleSpinBox* SlideTimeBox() const { return m_pSlideTime; }
    QRadioButton* OnceButton() const { return m_pOnce; }
    QRadioButton* LoopButton() const { return m_pLoop; }
    QRadioButton* RandomButton() const { return m_pRandom; }

private:
    QRadioButton* m_pAll;
    QRadioButton* m_pSelected;
    QRadioButton* m_pChecked;
    QDoubleSpinBox* m_pSlideTime;
    QRadioButton* m_pOnce;
    QRadioButton* m_pLoop;
    QRadioButton* m_pRandom;
};
