#pragma once

#include <QDialog>

#include <functional>

class CNewVersionCheck;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// Tells the person that a newer Quarrane is published: the published document as readable text,
// a button to the download page, and the start-up check's own switch, written back as soon as
// it is changed.
class CNewVersionDialog final : public QDialog
{
    Q_OBJECT

public:
    CNewVersionDialog(const QString& rtfDocument, QWidget* parent);

    // Shows the dialog over parent whenever check finds a newer version, unless the program is
    // shutting down by then (isShuttingDown, when given, says so).
    static void ShowOnNewVersion(CNewVersionCheck& check, QWidget* parent,
                                 std::function<bool()> isShuttingDown = {});

    QPlainTextEdit* DocumentView() const { return m_pText; }
    QCheckBox* CheckAtStartBox() const { return m_pCheck; }
    QPushButton* GoToWebPageButton() const { return m_pGoToWebPage; }
    QPushButton* CloseButton() const { return m_pClose; }

private:
    void OnGoToWebPage();
    void OnCheckToggled(bool checked);

    QPlainTextEdit* m_pText;
    QCheckBox* m_pCheck;
    QPushButton* m_pGoToWebPage;
    QPushButton* m_pClose;
};
