#include "DesktopFolders.h"
#include "gui/browser/dialogs/CheckFilesToSizeDlg.h"
#include "gui/browser/dialogs/FileProblemsDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>

namespace
{
CFileProblems Problems(unsigned style)
{
    CFileProblems p;
    p.strHeader = QStringLiteral("There may be problems moving the following selected files:");
    p.strQuestion = QStringLiteral("Attempt to move all selected files anyway?");
    p.nStyle = style;
    p.AddRow(QStringLiteral("/media/a.txt"), QStringLiteral("The source file is read only"),
             QStringLiteral("Make the source file writeable"));
    p.AddRow(QStringLiteral("/media/b.txt"), QStringLiteral("Disk not found"),
             QStringLiteral("Insert BACKUP"));
    return p;
}

// Clicks a button of the file problems dialog once it shows.
void ClickWhenShown(std::function<QPushButton*(CFileProblemsDlg*)> which)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout,
                     [timer, which]
                     {
                         for (QWidget* w : QApplication::topLevelWidgets())
                             if (auto* dlg = qobject_cast<CFileProblemsDlg*>(w); dlg && dlg->isVisible())
                             {
                                 timer->deleteLater();
                                 which(dlg)->click();
                                 return;
                             }
                     });
    timer->start(10);
}

QImage Icon(QStyle::StandardPixmap which)
{
    return QApplication::style()->standardIcon(which).pixmap(32, 32).toImage();
}
} // namespace

class FileOpsDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void theProblemsDialogListsFileProblemAndSolution()
    {
        CFileProblemsDlg dlg(Problems(CFileProblems::kWarningIcon));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("File Problems"));
        QTreeWidget* list = dlg.List();
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("File"));
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Problem"));
        QCOMPARE(list->headerItem()->text(2), QStringLiteral("Solution"));
        QCOMPARE(list->columnWidth(0), 300);
        QCOMPARE(list->columnWidth(1), 150);
        QCOMPARE(list->columnWidth(2), 300);
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("Insert BACKUP"));
        QCOMPARE(dlg.HeaderLabel()->text(),
                 QStringLiteral("There may be problems moving the following selected files:"));
        QCOMPARE(dlg.QuestionLabel()->text(), QStringLiteral("Attempt to move all selected files anyway?"));
        QCOMPARE(dlg.YesButton()->text(), QStringLiteral("&Yes"));
        QCOMPARE(dlg.NoButton()->text(), QStringLiteral("&No"));
        QCOMPARE(dlg.IconLabel()->pixmap().toImage(), Icon(QStyle::SP_MessageBoxWarning));

        ClickWhenShown([](CFileProblemsDlg* d) { return d->YesButton(); });
        QCOMPARE(dlg.Run(), CFileProblems::kGoOn);
        ClickWhenShown([](CFileProblemsDlg* d) { return d->NoButton(); });
        QCOMPARE(dlg.Run(), CFileProblems::kStop);
    }

    void theIconFollowsTheStyleAndTheReportOffersOkOnly()
    {
        // Error wins over warning, warning over information.
        CFileProblemsDlg error(
            Problems(CFileProblems::kErrorIcon | CFileProblems::kWarningIcon | CFileProblems::kOkOnly));
        QCOMPARE(error.IconLabel()->pixmap().toImage(), Icon(QStyle::SP_MessageBoxCritical));
        CFileProblemsDlg info(Problems(CFileProblems::kInformationIcon));
        QCOMPARE(info.IconLabel()->pixmap().toImage(), Icon(QStyle::SP_MessageBoxInformation));
        CFileProblemsDlg none(Problems(0));
        QVERIFY(none.IconLabel()->pixmap().isNull());

        error.show();
        QVERIFY(QTest::qWaitForWindowExposed(&error));
        QCOMPARE(error.YesButton()->text(), QStringLiteral("OK"));
        QVERIFY(!error.NoButton()->isVisible());
        error.hide();
        ClickWhenShown([](CFileProblemsDlg* d) { return d->YesButton(); });
        // A report always stops.
        QCOMPARE(error.Run(), CFileProblems::kStop);
    }

    void escStopsAndAWorkersQuestionIsAnsweredOnTheWindowsThread()
    {
        CFileProblemsDlg dlg(Problems(CFileProblems::kWarningIcon));
        QTimer::singleShot(50, &dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        QCOMPARE(dlg.Run(), CFileProblems::kStop);

        CWidgetFileProblemsPrompt prompt(nullptr);
        std::atomic<int> answer{0};
        std::unique_ptr<QThread> worker(
            QThread::create([&] { answer = prompt.Ask(Problems(CFileProblems::kErrorIcon)); }));
        ClickWhenShown([](CFileProblemsDlg* d) { return d->YesButton(); });
        worker->start();
        QTRY_COMPARE_WITH_TIMEOUT(answer.load(), CFileProblems::kGoOn, 10000);
        worker->wait();
    }

    void theSizeDialogOffersPresetsAndCustomSizes()
    {
        CCheckFilesToSizeDlg dlg;
        QPushButton* ok = dlg.Buttons()->button(QDialogButtonBox::Ok);
        QCOMPARE(dlg.PresetList()->currentIndex(), -1);
        QCOMPARE(dlg.PresetList()->count(), 5);
        QCOMPARE(dlg.PresetList()->itemText(4), QStringLiteral("Custom"));
        QVERIFY(!ok->isEnabled());
        QVERIFY(!dlg.NumberField()->isEnabled());
        QVERIFY(!dlg.UnitList()->isEnabled());
        QCOMPARE(dlg.UnitList()->currentText(), QStringLiteral("MB"));
        QVERIFY(dlg.ByNameButton()->isChecked());
        QCOMPARE(dlg.Order(), ECheckToSizeOrder::ByName);

        dlg.PresetList()->setCurrentIndex(1);
        QCOMPARE(dlg.Capacity(), std::optional<qint64>(730857472));
        QVERIFY(ok->isEnabled());

        dlg.PresetList()->setCurrentIndex(4);
        QVERIFY(dlg.NumberField()->isEnabled());
        QVERIFY(dlg.UnitList()->isEnabled());
        QVERIFY2(!ok->isEnabled(), "no number yet");
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.NumberField()->setFocus();
        QTest::keyClicks(dlg.NumberField(), QStringLiteral("1x.5.-"));
        QCOMPARE(dlg.NumberField()->text(), QStringLiteral("1.5"));
        dlg.UnitList()->setCurrentIndex(3);
        QCOMPARE(dlg.Capacity(), std::optional<qint64>(1610612736));
        QVERIFY(ok->isEnabled());
        QTest::keyClick(dlg.NumberField(), Qt::Key_7, Qt::KeypadModifier);
        QCOMPARE(dlg.NumberField()->text(), QStringLiteral("1.57"));
        QTest::keyClick(dlg.NumberField(), Qt::Key_Backspace);
        QCOMPARE(dlg.NumberField()->text(), QStringLiteral("1.5"));
        dlg.BySizeButton()->click();
        QCOMPARE(dlg.Order(), ECheckToSizeOrder::BySize);
    }

    void theNumberFieldsKeyRules()
    {
        QVERIFY(CapacityFieldAcceptsKey(Qt::Key_5, QStringLiteral("5"), Qt::NoModifier, QString()));
        QVERIFY(CapacityFieldAcceptsKey(Qt::Key_Period, QStringLiteral("."), Qt::NoModifier,
                                        QStringLiteral("12")));
        QVERIFY(!CapacityFieldAcceptsKey(Qt::Key_Period, QStringLiteral("."), Qt::NoModifier,
                                         QStringLiteral("1.2")));
        // A point that replaces the selected point: the rest of the text has none.
        QVERIFY(CapacityFieldAcceptsKey(Qt::Key_Period, QStringLiteral("."), Qt::NoModifier,
                                        QStringLiteral("1")));
        QVERIFY(!CapacityFieldAcceptsKey(Qt::Key_Minus, QStringLiteral("-"), Qt::NoModifier, QString()));
        QVERIFY(!CapacityFieldAcceptsKey(Qt::Key_E, QStringLiteral("e"), Qt::NoModifier, QString()));
        QVERIFY(CapacityFieldAcceptsKey(Qt::Key_Left, QString(), Qt::NoModifier, QString()));
        QVERIFY(CapacityFieldAcceptsKey(Qt::Key_Delete, QString(), Qt::NoModifier, QString()));
    }
};

QUARRANE_QTEST_MAIN(FileOpsDialogsTest)
#include "FileOpsDialogsTest.moc"
