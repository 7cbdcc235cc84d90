#pragma once

#include "browser/fileops/FileProblems.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

class QLabel;
class QPushButton;
class QTreeWidget;

// The file problems dialog: a header, the list of files with their problem and its solution, a
// question and "&Yes"/"&No", or, as a report, a single "OK". Its icon follows the style word.
class CFileProblemsDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CFileProblemsDlg(const CFileProblems& problems, QWidget* parent = nullptr);

    // Shows the dialog modally: CFileProblems::kGoOn for "&Yes", kStop otherwise (a report always
    // stops).
    int Run();

    QTreeWidget* List() const { return m_pList; }
    QLabel* IconLabel() const { return m_pIcon; }
    QLabel* HeaderLabel() const { return m_pHeader; }
    QLabel* QuestionLabel() const { return m_pQuestion; }
    QPushButton* YesButton() const { return m_pYes; }
    QPushButton* NoButton() const { return m_pNo; }

private:
    bool m_bOkOnly = false;
    QLabel* m_pIcon = nullptr;
    QLabel* m_pHeader = nullptr;
    QLabel* m_pQuestion = nullptr;
    QTreeWidget* m_pList = nullptr;
    QPushButton* m_pYes = nullptr;
    QPushButton* m_pNo = nullptr;
};

// The prompt file operations ask through: the dialog on the window's thread, the operation's
// thread waiting for the answer.
class CWidgetFileProblemsPrompt final : public QObject, public CFileProblemsPrompt
{
    Q_OBJECT

public:
    explicit CWidgetFileProblemsPrompt(QWidget* owner);
    int Ask(const CFileProblems& problems) override;

private:
    QPointer<QWidget> m_pOwner;
};
