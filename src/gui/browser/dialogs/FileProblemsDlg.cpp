#include "gui/browser/dialogs/FileProblemsDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
// The first icon bit that is set: error, then warning, then information.
QIcon StyleIcon(unsigned style)
{
    QStyle* s = QApplication::style();
    if (style & CFileProblems::kErrorIcon)
        return s->standardIcon(QStyle::SP_MessageBoxCritical);
    if (style & CFileProblems::kWarningIcon)
        return s->standardIcon(QStyle::SP_MessageBoxWarning);
    if (style & CFileProblems::kInformationIcon)
        return s->standardIcon(QStyle::SP_MessageBoxInformation);
    return QIcon();
}
} // namespace

CFileProblemsDlg::CFileProblemsDlg(const CFileProblems& problems, QWidget* parent)
    : QDialog(parent), m_bOkOnly(problems.IsOkOnly())
{
    setWindowTitle(QStringLiteral("File Problems"));
    setAccessibleName(QStringLiteral("File Problems"));

    m_pIcon = new QLabel(this);
    const QIcon icon = StyleIcon(problems.nStyle);
    if (!icon.isNull())
        m_pIcon->setPixmap(icon.pixmap(32, 32));
    m_pHeader = new QLabel(problems.strHeader, this);
    m_pHeader->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(m_pIcon, 0, Qt::AlignTop);
    top->addWidget(m_pHeader, 1);

    m_pList = new QTreeWidget(this);
    m_pList->setAccessibleName(QStringLiteral("Files with problems"));
    m_pList->setRootIsDecorated(false);
    m_pList->setColumnCount(3);
    m_pList->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Problem"), QStringLiteral("Solution")});
    m_pList->setColumnWidth(0, 300);
    m_pList->setColumnWidth(1, 150);
    m_pList->setColumnWidth(2, 300);
    for (int i = 0; i + 2 < problems.rows.size(); i += 3)
    {
        auto* item =
            new QTreeWidgetItem(m_pList, {problems.rows[i], problems.rows[i + 1], problems.rows[i + 2]});
        for (int column = 0; column < 3; ++column)
            item->setToolTip(column, item->text(column));
    }
    m_pList->setCurrentItem(m_pList->topLevelItem(0));

    m_pQuestion = new QLabel(problems.strQuestion, this);
    m_pQuestion->setWordWrap(true);
    m_pQuestion->setVisible(!problems.strQuestion.isEmpty());

    auto* buttons = new QDialogButtonBox(this);
    m_pYes = buttons->addButton(m_bOkOnly ? QStringLiteral("OK") : QStringLiteral("&Yes"),
                                QDialogButtonBox::AcceptRole);
    m_pNo = buttons->addButton(QStringLiteral("&No"), QDialogButtonBox::RejectRole);
    m_pNo->setVisible(!m_bOkOnly);
    m_pYes->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pList, 1);
    layout->addWidget(m_pQuestion);
    layout->addWidget(buttons);
    resize(800, 360);
}

int CFileProblemsDlg::Run()
{
    const int result = exec();
    return result == QDialog::Accepted && !m_bOkOnly ? CFileProblems::kGoOn : CFileProblems::kStop;
}

CWidgetFileProblemsPrompt::CWidgetFileProblemsPrompt(QWidget* owner) : m_pOwner(owner) {}

int CWidgetFileProblemsPrompt::Ask(const CFileProblems& problems)
{
    int answer = CFileProblems::kStop;
    auto show = [&]
    {
        CFileProblemsDlg dialog(problems, m_pOwner);
        answer = dialog.Run();
    };
    if (QThread::currentThread() == thread())
        show();
    else
        QMetaObject::invokeMethod(this, show, Qt::BlockingQueuedConnection);
    return answer;
}
