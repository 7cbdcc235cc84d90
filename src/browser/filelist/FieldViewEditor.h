#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class CDbDatabase;
class CDbRetryPolicy;

// What the "File List Field Views" dialog edits: the views a user can choose (the global ones and
// the user's own), each with its shown fields in order. Every change is held here until Commit
// writes them all in one transaction; dropping the editor leaves the database as it was, so the
// dialog never holds the database locked against the synchronizer while it is open.
class CFieldViewEditor final
{
public:
    static constexpr int kMaxViews = 50;

    struct SField
    {
        qint32 id = 0;
        QString caption;
    };
    struct SView
    {
        qint32 id = 0; // 0: made in the dialog, not stored yet
        QString name;
        QString originalName;
        bool global = false;
        std::vector<qint32> fields; // shown, in order
        bool changed = false;
    };
    // A refusal to show the person: its text and caption.
    struct SMessage
    {
        QString text;
        QString caption;
    };

    CFieldViewEditor(CDbDatabase& db, CDbRetryPolicy& policy, QString userName);

    // Reads the views and the displayable fields; false when they could not be read (logged).
    bool Load();

    int Count() const { return static_cast<int>(m_views.size()); }
    const SView& View(int view) const { return m_views[static_cast<size_t>(view)]; }
    int IndexOf(const QString& name) const;
    // The displayable fields by caption, and those of them a view does not show.
    const std::vector<SField>& DisplayableFields() const { return m_fields; }
    std::vector<SField> AvailableFields(int view) const;
    QString Caption(qint32 fieldId) const;

    // A new empty view named "New Field View" (or with the first free number from 2 after it);
    // -1 and the message at kMaxViews views.
    int New(SMessage* message);
    // A copy of a view under its name with the first free number from 2 after it.
    int Copy(int view, SMessage* message);
    // False with the message when another view (of any user) has that name; a blank name is
    // refused without one.
    bool Rename(int view, const QString& name, SMessage* message);
    void Delete(int view);
    void SetGlobal(int view, bool global);
    void SetShownFields(int view, std::vector<qint32> fields);

    // Writes every change in one transaction under the retry rules; false when given up
    // (nothing written then).
    bool Commit();

private:
    QString FreeName(const QString& base) const;
    // The view of that name other than except (case ignored): its owner in owner; false when none.
    bool NameTaken(const QString& name, int except, QString* owner) const;
    int AddView(SView view, SMessage* message);

    CDbDatabase& m_db;
    CDbRetryPolicy& m_policy;
    QString m_strUserName;
    std::vector<SView> m_views;
    std::vector<SField> m_fields;
    // Names of the views of other users, which this user cannot see but must not take.
    std::vector<std::pair<QString, QString>> m_otherViews; // name, owner
    std::vector<qint32> m_deleted;
    bool m_bChanged = false;
};
