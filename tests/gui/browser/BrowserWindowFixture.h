#pragma once

#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "database/DbRetryPolicy.h"
#include "gui/WidgetInteraction.h"
#include "gui/browser/FileChooser.h"
#include "gui/browser/MainFrame.h"

#include <QStringList>

#include <deque>
#include <optional>

// File dialogs that answer from a queue and remember what they were asked; an unexpected
// question is answered like a cancelled dialog.
class CScriptedFileChooser final : public CFileChooser
{
public:
    struct Question
    {
        QString caption;
        QString filter;
        QString defaultSuffix;
        bool save = false;
    };

    // A path, or nothing for a cancelled dialog.
    void Answer(const std::optional<QString>& path) { m_answers.push_back(path.value_or(QString())); }

    std::optional<QString> SaveFileName(QWidget*, const QString& caption, const QString& filter,
                                        const QString& defaultSuffix) override
    {
        asked.push_back({caption, filter, defaultSuffix, true});
        return Next();
    }
    std::optional<QString> OpenFileName(QWidget*, const QString& caption, const QString& filter) override
    {
        asked.push_back({caption, filter, QString(), false});
        return Next();
    }
    std::optional<QString> ServerAddress(QWidget*, const QString& caption) override
    {
        asked.push_back({caption, QString(), QString(), false});
        return Next();
    }

    std::vector<Question> asked;

private:
    std::optional<QString> Next()
    {
        if (m_answers.empty())
            return std::nullopt;
        const QString answer = m_answers.front();
        m_answers.pop_front();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }

    std::deque<QString> m_answers;
};

// The browser's window over its document for one user, as the program makes them, with
// scripted file dialogs and retries that do not sleep.
struct CBrowserWindow
{
    explicit CBrowserWindow(const QString& user = QStringLiteral("ann"))
    {
        doc.SetUserName(user);
        doc.RetryPolicy().SetWait([](auto) {});
        frame.SetFileChooser(&chooser);
    }

    CWidgetInteraction ui;
    CMirrowelDoc doc{ui};
    CScriptedFileChooser chooser;
    CMainFrame frame{doc, ui};
};
