#include "gui/browser/FileChooser.h"

#include <QFileDialog>

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
