#pragma once

#include <QApplication>
#include <QStringList>

#include <atomic>
#include <memory>

class CFileChooser;
class CMainFrame;
class CMirrowelDoc;
class CNewVersionCheck;
class CWidgetInteraction;

// The browser program: start-up (settings, error log, the document and its window, the database
// named on the command line), the event loop, and shutdown. An exception that escapes an event
// handler is logged with the exception box and ends the program cleanly: the database is closed
// and the settings are written.
class CMirrowelApp final : public QApplication
{
    Q_OBJECT

public:
    // The exit status after an exception reached the event loop.
    static constexpr int kExceptionExitCode = 3;

    CMirrowelApp(int& argc, char** argv);
    ~CMirrowelApp() override;

    // Makes the document and shows its window; opens the DATABASE of the command line. False
    // when that database could not be opened: the program ends.
    bool InitInstance();
    // Runs the event loop, then shuts down; the program's exit status.
    int Run();

    CMirrowelDoc* Document() const { return m_pDoc.get(); }
    CMainFrame* MainFrame() const { return m_pFrame.get(); }
    bool IsShuttingDown() const { return m_bShuttingDown; }

    // The database a command line names: its first argument that is not an option.
    static QString DatabaseArgument(const QStringList& arguments);
    // "Exception 0x%X thrown" for whatever escaped a handler.
    static QString ExceptionMessage(unsigned code);

    bool notify(QObject* receiver, QEvent* event) override;

private slots:
    // Looks for a newer version of the program, when the settings ask for it.
    void StartVersionCheck();

private:
    void ReportEscapedException(unsigned code);
    void ExitInstance();
    // Lets a running job end, answering what it asks meanwhile.
    void WaitForJob();

    std::unique_ptr<CWidgetInteraction> m_pUi;
    std::unique_ptr<CMirrowelDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<CNewVersionCheck> m_pVersionCheck;
    bool m_bShuttingDown = false;
    // Set by whichever thread's handler threw first.
    std::atomic<bool> m_bExceptionEscaped{false};
};
