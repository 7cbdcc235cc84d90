#include "gui/browser/FileChooser.h"

#include "database/DbAddress.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

std::optional<QString> CDialogFileChooser::SaveFileName(QWidget* parent, const QString& caption,
                                                        const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> CDialogFileChooser::OpenFileName(QWidget* parent, const QString& caption,
                                                        const QString& filter)
{
    const QString path = QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> CDialogFileChooser::ServerAddress(QWidget* parent, const QString& caption)
{
    QString address;
    for (;;)
    {
        bool ok = false;
        address = QInputDialog::getText(parent, caption,
                                        QStringLiteral("Server address (postgresql://host/database or "
                                                       "host=... dbname=...):"),
                                        QLineEdit::Normal, address, &ok)
                      .trimmed();
        if (!ok || address.isEmpty())
            return std::nullopt;
        if (DbAddress::IsServerAddress(address))
            return address;
        QMessageBox::warning(parent, caption, QStringLiteral("%1 is not a server address.").arg(address));
    }
}
