#include "gui/browser/dialogs/NewVersionDialog.h"

#include "browser/NewVersionCheck.h"
#include "browser/RtfPlainText.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

CNewVersionDialog::CNewVersionDialog(const QString& rtfDocument, QWidget* parent)
    : QDialog(parent), m_pText(new QPlainTextEdit(this)),
      m_pCheck(new QCheckBox(tr("Check for new version when Quarrane starts"), this)),
      m_pGoToWebPage(new QPushButton(tr("&Go to web page"), this)),
      m_pClose(new QPushButton(tr("&Close"), this))
{
    setWindowTitle(tr("A New Version of Quarrane is available!"));

    m_pText->setReadOnly(true);
    m_pText->setPlainText(RtfToPlainText(rtfDocument));
    m_pText->setAccessibleName(tr("What is new"));
    m_pText->setTabChangesFocus(true);
    m_pText->setMinimumSize(440, 240);
    m_pCheck->setAccessibleName(m_pCheck->text());
    m_pGoToWebPage->setAccessibleName(tr("Go to web page"));
    m_pClose->setAccessibleName(tr("Close"));
    m_pClose->setDefault(true);

    m_pCheck->setChecked(CNewVersionCheck::ShouldCheck(QSettings()));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pCheck);
    buttons->addStretch();
    buttons->addWidget(m_pGoToWebPage);
    buttons->addWidget(m_pClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pText);
    layout->addLayout(buttons);

    connect(m_pGoToWebPage, &QPushButton::clicked, this, &CNewVersionDialog::OnGoToWebPage);
    connect(m_pClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pCheck, &QCheckBox::toggled, this, &CNewVersionDialog::OnCheckToggled);
}

void CNewVersionDialog::OnGoToWebPage()
{
    QDesktopServices::openUrl(CNewVersionCheck::DownloadUrl(QSettings()));
}

void CNewVersionDialog::OnCheckToggled(bool checked)
{
    QSettings settings;
    settings.setValue(CNewVersionCheck::kCheckKey, checked ? 1 : 0);
}

void CNewVersionDialog::ShowOnNewVersion(CNewVersionCheck& check, QWidget* parent,
                                         std::function<bool()> isShuttingDown)
{
    QObject::connect(&check, &CNewVersionCheck::newVersionAvailable, parent,
                     [parent, isShuttingDown = std::move(isShuttingDown)](const QString& document)
                     {
                         if (isShuttingDown && isShuttingDown())
                             return;
                         // Window-modal without a nested event loop: start-up goes on meanwhile.
                         auto* dialog = new CNewVersionDialog(document, parent);
                         dialog->setAttribute(Qt::WA_DeleteOnClose);
                         dialog->open();
                     });
}
