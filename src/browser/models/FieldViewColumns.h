#pragma once

#include "browser/RecordSetList.h"

#include <QString>
#include <QStringList>

#include <vector>

class CDbDatabase;
class CDbRetryPolicy;

// One column of a file list field view: the Field row it shows and how wide this user has it.
struct CFieldViewColumn
{
    qint32 lFieldId = 0;
    QString strTableField; // "File.File": the field the column shows
    QString strCaption;    // Field.Field
    int nType = 0;         // Field.Type: 1 integer, 2 text, 3 boolean, 4 name list, 5 memo, 6 bytes, 7 date
    QString strFormat;     // Field.Format, "" when none
    int nDefaultWidth = 0; // Field.DefaultWidth, 0 when none
    int nWidth = 0;        // the user's width when stored, else the default width
    bool bUserWidth = false;
    int nOrder = 0; // FileListFieldViewField.Order

    // The list's kind of the value: a file size, a number or text.
    int Kind() const;
    // Its rank among the secondary sort keys of every file list (0: none).
    int SortPriority() const;
};

// The columns of one named field view for one user: which fields, in which order, with their
// captions, kinds and this user's widths. Views are the user's own or global (no owner); each
// user chooses one view for folder lists and one for query lists (database parameters).
class CFieldViewColumns final
{
public:
    enum class ListKind
    {
        Folder,
        Query,
    };

    static constexpr int kMaxViews = 50;

    // Reads the view of that name (without regard to case); false, with no columns, when there is
    // no such view or it could not be read (logged).
    bool Load(CDbDatabase& db, const QString& userName, const QString& viewName);

    qint32 ViewId() const { return m_lViewId; }
    const QString& ViewName() const { return m_strViewName; }
    // The owner's user name, "" for a global view.
    const QString& Owner() const { return m_strOwner; }
    bool IsGlobal() const { return m_strOwner.isEmpty(); }
    const std::vector<CFieldViewColumn>& Columns() const { return m_columns; }

    // Sets up a file list whose fields and columns are still empty: the fields of every file list
    // (with their sort priorities and kinds), then one column per column of the view, adding the
    // field a column shows when it is not among them.
    void ApplyTo(CRecordSetList& list) const;
    // The fields of every file list, in SELECT order.
    static std::vector<CDataCtrlDescriptor> StandardFields();

    // The view the user has chosen for lists of that kind. Without a choice, the default view
    // ("Folder (Default)" or "Query (Default)") when it exists, stored as the user's choice.
    static QString CurrentViewName(CDbDatabase& db, const QString& userName, ListKind kind);
    static bool SetCurrentViewName(CDbDatabase& db, const QString& userName, ListKind kind,
                                   const QString& viewName);
    static QString ParameterName(const QString& userName, ListKind kind);

    // The views a user can choose: the global ones, then the user's own, each by name; at most
    // kMaxViews.
    static QStringList ViewNames(CDbDatabase& db, const QString& userName);

    // Remembers a column width for (user, view, field): the row is edited when it exists, else
    // added; other users' widths stay. False when the write was given up.
    static bool SaveColumnWidth(CDbDatabase& db, CDbRetryPolicy& policy, const QString& userName,
                                qint32 viewId, qint32 fieldId, int width);

private:
    qint32 m_lViewId = 0;
    QString m_strViewName;
    QString m_strOwner;
    std::vector<CFieldViewColumn> m_columns;
};
