#include "DesktopFolders.h"
#include "LocalHttpServer.h"
#include "browser/MirrowelDoc.h"
#include "browser/NewVersionCheck.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "gui/browser/dialogs/NewVersionDialog.h"
#include "gui/browser/dialogs/OptionsSheet.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/VolumeTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{

const QByteArray kDocument = "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\r\n"
                             "\\pard\\b Quarrane\\b0\\par\r\n"
                             "Version\\par\r\n"
                             "1.07\\par\r\n"
                             "Caf\\'e9 \\ldblquote ready\\rdblquote .\\par\r\n"
                             "}\r\n";

// Every widget the Tab key reaches in window, in order, until the chain comes round.
QList<QWidget*> FocusChain(QWidget* window)
{
    QList<QWidget*> chain;
    QWidget* first = nullptr;
    for (int i = 0; i < 50; ++i)
    {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
        QWidget* w = QApplication::focusWidget();
        if (!w || w == first)
            break;
        if (!first)
            first = w;
        chain.append(w);
    }
    return chain;
}

template <typename T> QList<T*> VisibleTopLevels()
{
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            found.append(t);
    return found;
}

} // namespace

// Receives the addresses QDesktopServices would hand to the desktop's browser.
class CUrlCatcher final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

class NewVersionDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void cleanup()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CNewVersionDialog*>(w))
                delete w;
    }

    void showsTheDocumentAsReadableText()
    {
        CNewVersionDialog dialog(QString::fromLatin1(kDocument), nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("A New Version of Quarrane is available!"));
        const QString text = dialog.DocumentView()->toPlainText();
        QCOMPARE(text, QString::fromUtf8("Quarrane\nVersion\n1.07\nCaf\u00e9 \u201cready\u201d."));
        QVERIFY(dialog.DocumentView()->isReadOnly());
        QCOMPARE(dialog.GoToWebPageButton()->text(), QStringLiteral("&Go to web page"));
        QCOMPARE(dialog.CloseButton()->text(), QStringLiteral("&Close"));
        QCOMPARE(dialog.CheckAtStartBox()->text(),
                 QStringLiteral("Check for new version when Quarrane starts"));
    }

    void theCheckBoxShowsAndWritesTheSetting()
    {
        QSettings settings;
        QVERIFY(CNewVersionDialog(QString(), nullptr).CheckAtStartBox()->isChecked());
        settings.setValue(CNewVersionCheck::kCheckKey, 0);
        CNewVersionDialog dialog(QString::fromLatin1(kDocument), nullptr);
        QVERIFY(!dialog.CheckAtStartBox()->isChecked());

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.CheckAtStartBox()->click();
        QCOMPARE(QSettings().value(CNewVersionCheck::kCheckKey).toInt(), 1);
        dialog.CheckAtStartBox()->click();
        QCOMPARE(QSettings().value(CNewVersionCheck::kCheckKey).toInt(), 0);
        QVERIFY(!CNewVersionCheck::ShouldCheck(QSettings()));
    }

    void goToWebPageOpensTheDownloadPageAndCloseCloses()
    {
        CUrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Open");
        CNewVersionDialog dialog(QString::fromLatin1(kDocument), nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        dialog.GoToWebPageButton()->click();
        QSettings().setValue(CNewVersionCheck::kDownloadUrlKey,
                             QStringLiteral("http://127.0.0.1:9/get.html"));
        dialog.GoToWebPageButton()->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(catcher.opened.size(), 2);
        QCOMPARE(catcher.opened[0], QUrl(CNewVersionCheck::kDefaultDownloadUrl));
        QCOMPARE(catcher.opened[1], QUrl(QStringLiteral("http://127.0.0.1:9/get.html")));
        QVERIFY(dialog.isVisible());

        QTest::keyClick(&dialog, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!dialog.isVisible());
    }

    void everyControlIsReachedByTabAndNamed()
    {
        CNewVersionDialog dialog(QString::fromLatin1(kDocument), nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        const QList<QWidget*> chain = FocusChain(&dialog);
        for (QWidget* w :
             {static_cast<QWidget*>(dialog.DocumentView()), static_cast<QWidget*>(dialog.CheckAtStartBox()),
              static_cast<QWidget*>(dialog.GoToWebPageButton()), static_cast<QWidget*>(dialog.CloseButton())})
            QVERIFY2(chain.contains(w), qPrintable(w->accessibleName()));
        for (QWidget* w : chain)
            QVERIFY2(!w->accessibleName().isEmpty(), w->metaObject()->className());
    }

    // The window's wiring: a newer version shows the dialog, an equal one or a shutdown nothing.
    void aNewerPublishedVersionShowsTheDialog()
    {
        CLocalHttpServer server;
        QVERIFY(server.IsListening());
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool shuttingDown = false;

        struct Case
        {
            const char* version;
            bool shuttingDown;
            bool shown;
        };
        for (const Case& c :
             {Case{"1.06", false, false}, Case{"1.07", true, false}, Case{"1.07", false, true}})
        {
            server.Answer(200, QByteArray(kDocument).replace("1.07", c.version));
            shuttingDown = c.shuttingDown;
            CNewVersionCheck check;
            check.SetRunningVersion(1.06);
            CNewVersionDialog::ShowOnNewVersion(check, &window, [&] { return shuttingDown; });
            QSignalSpy finished(&check, &CNewVersionCheck::finished);
            check.Start(server.Url());
            QVERIFY(finished.wait(10000));
            QCoreApplication::processEvents();
            const QList<CNewVersionDialog*> shown = VisibleTopLevels<CNewVersionDialog>();
            QCOMPARE(shown.size(), c.shown ? 1 : 0);
            if (c.shown)
            {
                QCOMPARE(shown[0]->parentWidget(), &window);
                QVERIFY(shown[0]->DocumentView()->toPlainText().contains(QStringLiteral("1.07")));
                shown[0]->CloseButton()->click();
                QTRY_VERIFY(VisibleTopLevels<CNewVersionDialog>().isEmpty());
            }
        }
    }
};

// The options sheet over a real database made from the template.
class OptionsSheetTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        SetErrorLogFolder(m_dir->path());
        SetProcessUserInteraction(&m_ui);
        m_volumes.SetEntries(
            {CFixtureVolumeTable::MakeEntry(m_dir->path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});
        m_doc = std::make_unique<CMirrowelDoc>(m_ui);
        m_doc->SetUserName(QStringLiteral("ann"));
        m_strDatabase = m_dir->filePath(QStringLiteral("Films.qrl"));
        QVERIFY(m_doc->NewDatabase(m_strDatabase));
    }
    void cleanup()
    {
        m_doc->CloseDatabase();
        m_doc.reset();
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
        m_dir.reset();
    }

    void pagesInOrderAndMorePagesAfterThem()
    {
        COptionsSheet sheet(m_doc.get(), nullptr);
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Options"));
        auto* handling = new QWidget;
        sheet.AddPage(handling, QStringLiteral("File Handling"));
        QStringList titles;
        for (int i = 0; i < sheet.Pages()->count(); ++i)
            titles.append(sheet.Pages()->tabText(i));
        QCOMPARE(titles, (QStringList{QStringLiteral("General"), QStringLiteral("Database"),
                                      QStringLiteral("File Handling")}));
        QCOMPARE(sheet.Pages()->widget(2), handling);
        QCOMPARE(sheet.CompactOnCloseBox()->text(), QStringLiteral("&Compact Database on Close"));
        QCOMPARE(sheet.CheckAtStartBox()->text(),
                 QStringLiteral("Check for new version when Quarrane starts"));
    }

    void compactOnCloseReadsTheDatabaseParameter()
    {
        // A null value stands for no row at all, as in a database from before the option.
        const std::pair<QString, bool> cases[] = {{QStringLiteral("1"), true},
                                                  {QStringLiteral("0"), false},
                                                  {QString(), false},
                                                  {QStringLiteral("-1"), true},
                                                  {QStringLiteral("yes"), true}};
        for (const auto& [value, on] : cases)
        {
            if (value.isNull())
                m_doc->Database()->Execute(
                    QStringLiteral("DELETE FROM Parameter WHERE Parameter='CompactOnExit'"));
            else
                QVERIFY(m_doc->SetDatabaseParameter(QStringLiteral("CompactOnExit"), value));
            COptionsSheet sheet(m_doc.get(), nullptr);
            QVERIFY(sheet.CompactOnCloseBox()->isEnabled());
            QVERIFY2(sheet.CompactOnCloseBox()->isChecked() == on, qPrintable(value));
        }
    }

    void okWritesWhatChangedAndCancelNothing()
    {
        QVERIFY(m_doc->SetDatabaseParameter(QStringLiteral("CompactOnExit"), QStringLiteral("0")));
        COptionsSheet sheet(m_doc.get(), nullptr);

        // Cancel: neither the database nor the settings change.
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        sheet.CompactOnCloseBox()->setChecked(true);
        sheet.CheckAtStartBox()->setChecked(false);
        sheet.reject();
        QCOMPARE(m_doc->GetDatabaseParameter(QStringLiteral("CompactOnExit")), QStringLiteral("0"));
        QVERIFY(CNewVersionCheck::ShouldCheck(QSettings()));

        // Shown again it reads the values afresh; OK writes "1" and the switched-off check.
        sheet.show();
        QVERIFY(!sheet.CompactOnCloseBox()->isChecked());
        QVERIFY(sheet.CheckAtStartBox()->isChecked());
        sheet.CompactOnCloseBox()->setChecked(true);
        sheet.CheckAtStartBox()->setChecked(false);
        sheet.accept();
        QVERIFY(!sheet.isVisible());
        QCOMPARE(m_doc->GetDatabaseParameter(QStringLiteral("CompactOnExit")), QStringLiteral("1"));
        QVERIFY(m_doc->CompactOnExit());
        QCOMPARE(QSettings().value(CNewVersionCheck::kCheckKey).toInt(), 0);

        // And "0" back; the value also reaches another connection to the file.
        sheet.show();
        QVERIFY(sheet.CompactOnCloseBox()->isChecked());
        sheet.CompactOnCloseBox()->setChecked(false);
        sheet.accept();
        QVERIFY(m_doc->CloseDatabase());
        QVERIFY(m_doc->OpenDatabase(m_strDatabase));
        QCOMPARE(m_doc->GetDatabaseParameter(QStringLiteral("CompactOnExit")), QStringLiteral("0"));
    }

    void theDatabasePageWaitsForADatabase()
    {
        QVERIFY(m_doc->CloseDatabase());
        COptionsSheet sheet(m_doc.get(), nullptr);
        QVERIFY(!sheet.CompactOnCloseBox()->isEnabled());
        QVERIFY(!sheet.CompactOnCloseBox()->isChecked());
        sheet.CheckAtStartBox()->setChecked(false);
        QVERIFY(sheet.Save());
        QVERIFY(!CNewVersionCheck::ShouldCheck(QSettings()));

        COptionsSheet withoutDocument(nullptr, nullptr);
        QVERIFY(!withoutDocument.CompactOnCloseBox()->isEnabled());

        // Opened meanwhile: the kept sheet shows the database when it shows next.
        QVERIFY(m_doc->OpenDatabase(m_strDatabase));
        QVERIFY(m_doc->SetDatabaseParameter(QStringLiteral("CompactOnExit"), QStringLiteral("1")));
        sheet.show();
        QVERIFY(sheet.CompactOnCloseBox()->isEnabled());
        QVERIFY(sheet.CompactOnCloseBox()->isChecked());
        sheet.reject();
    }

    void everyControlIsReachedByTabAndNamed()
    {
        COptionsSheet sheet(m_doc.get(), nullptr);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        sheet.activateWindow();
        QList<QWidget*> chain = FocusChain(&sheet);
        QVERIFY(chain.contains(sheet.CheckAtStartBox()));
        sheet.Pages()->setCurrentIndex(1);
        chain += FocusChain(&sheet);
        QVERIFY(chain.contains(sheet.CompactOnCloseBox()));
        for (QWidget* w : chain)
            QVERIFY2(!w->accessibleName().isEmpty(), w->metaObject()->className());
        sheet.reject();
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    CFixtureVolumeTable m_volumes;
    CVolumeTableScope m_scope{m_volumes};
    CScriptedInteraction m_ui;
    std::unique_ptr<CMirrowelDoc> m_doc;
    QString m_strDatabase;
};

int main(int argc, char** argv)
{
    // Settings, state and runtime folders of this run's own: the dialogs write the user's settings.
    QTemporaryDir xdg;
    if (!UseDesktopFoldersIn(xdg))
        return 1;
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevold"));
    QApplication::setApplicationName(QStringLiteral("Quarrane Browser"));
    int failed = 0;
    {
        NewVersionDialogTest test;
        failed += QTest::qExec(&test, argc, argv);
    }
    {
        OptionsSheetTest test;
        failed += QTest::qExec(&test, argc, argv);
    }
    return failed;
}

#include "DialogsTest.moc"
