#pragma once

#include "browser/search/FindSession.h"

#include <QDialog>

#include <vector>

class CMwQueryFieldParamDialog;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The Find dialog: a title, the condition rows (an empty row always waits at the end), and the
// buttons that find in the file list or search the catalogues. Its answer is a find request.
class CFindDialog final : public QDialog
{
    Q_OBJECT

public:
    CFindDialog(const std::vector<SSearchField>& fields, const SFindRequest& initial,
                QWidget* parent = nullptr);

    // The mode of the button that closed it (Cancel when none), the title and the conditions of
    // the rows that have a field.
    SFindRequest Request() const;

    QLineEdit* TitleBox() const { return m_pTitle; }
    QList<CMwQueryFieldParamDialog*> Rows() const { return m_rows; }
    QPushButton* Button(EFindMode mode) const;

private:
    CMwQueryFieldParamDialog* AddRow();
    void Finish(EFindMode mode);

    std::vector<SSearchField> m_fields;
    QLineEdit* m_pTitle = nullptr;
    QVBoxLayout* m_pRowLayout = nullptr;
    QList<CMwQueryFieldParamDialog*> m_rows;
    QList<QPushButton*> m_buttons;
    EFindMode m_mode = EFindMode::Cancel;
};
