#pragma once

#include "browser/fileops/CheckToSize.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QRadioButton;

// "Check Files to Size": a preset capacity (a CD, a DVD) or a custom number of bytes, KB, MB or
// GB, and the order the files are taken in. OK is offered once the choice gives a size.
class CCheckFilesToSizeDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CCheckFilesToSizeDlg(QWidget* parent = nullptr);

    // The chosen capacity in bytes; nothing while no preset is chosen or the custom number is
    // not one.
    std::optional<qint64> Capacity() const;
    ECheckToSizeOrder Order() const;

    QComboBox* PresetList() const { return m_pPresets; }
    QLineEdit* NumberField() const { return m_pNumber; }
    QComboBox* UnitList() const { return m_pUnits; }
    QRadioButton* ByNameButton() const { return m_pByName; }
    QRadioButton* BySizeButton() const { return m_pBySize; }
    QDialogButtonBox* Buttons() const { return m_pButtons; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsCustom() const;
    void UpdateState();

    QComboBox* m_pPresets = nullptr;
    QLineEdit* m_pNumber = nullptr;
    QComboBox* m_pUnits = nullptr;
    QRadioButton* m_pByName = nullptr;
    QRadioButton* m_pBySize = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};

// Whether the number field takes a key: digits (the keypad's too), one decimal point, and the
// keys that edit and move. textWithoutSelection is the field's text less what the key replaces.
bool CapacityFieldAcceptsKey(int key, const QString& text, Qt::KeyboardModifiers modifiers,
                             const QString& textWithoutSelection);
