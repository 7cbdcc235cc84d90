#pragma once

#include <QString>

#include <optional>

class QWidget;

// Where the window's file dialogs come from: the person's dialogs in the program, scripted
// answers in tests. Nothing when the dialog was cancelled.
class CFileChooser
{
public:
    CFileChooser() = default;
    CFileChooser(const CFileChooser&) = delete;
    CFileChooser& operator=(const CFileChooser&) = delete;
    virtual ~CFileChooser() = default;

    // A file to create: asks before replacing an existing one; defaultSuffix is added to a name
    // typed without it.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& caption,
                                                const QString& filter, const QString& defaultSuffix) = 0;
    // An existing file.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& caption,
                                                const QString& filter) = 0;
    // The address of a catalogue on a server ("postgresql://host/db" or "host=... dbname=...").
    virtual std::optional<QString> ServerAddress(QWidget* parent, const QString& caption)
    {
        (void)parent;
        (void)caption;
        return std::nullopt;
    }
};

// The file dialogs of the desktop.
class CDialogFileChooser final : public CFileChooser
{
public:
    std::optional<QString> SaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                        const QString& defaultSuffix) override;
    std::optional<QString> OpenFileName(QWidget* parent, const QString& caption,
                                        const QString& filter) override;
    std::optional<QString> ServerAddress(QWidget* parent, const QString& caption) override;
};
