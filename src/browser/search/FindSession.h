#pragma once

#include "browser/search/QueryFieldCondition.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>
#include <vector>

class CDbDatabase;
class CUserInteraction;

// A search as one statement: selectList over the rows of baseSql (a stored query's text, with
// GetUserName() for userName) that also meet condition, in baseSql's order.
QString SearchStatement(const QString& baseSql, const QString& condition, const QString& selectList,
                        const QString& userName);

// The magnet links of those files that have a TTH, one a line in the order given; empty when
// none has one. Throws CDbException.
QString MagnetLinksOfFiles(CDbDatabase& db, const std::vector<qint32>& fileIds);

// What the Find dialog was closed with.
enum class EFindMode : int
{
    Cancel = 0,
    FindFirst = 1,
    FindNext = 2,
    SearchChecked = 3,
    SearchAll = 4,
};

struct SFindRequest
{
    EFindMode mode = EFindMode::Cancel;
    QString strTitle;
    std::vector<SQueryFieldParam> conditions;
};

// The rows of Field the dialog offers, by caption. Throws CDbException.
std::vector<SSearchField> LoadSearchableFields(CDbDatabase& db);
// The field of that caption among fields; nullptr when there is none.
const SSearchField* FindSearchField(const std::vector<SSearchField>& fields, const QString& caption);

// The stored query a search starts from, its text for the user; empty (and logged) when it
// cannot be read, as a missing query leaves the view without SQL of its own.
QString DefaultSearchSql(CDbDatabase& db, bool checkedOnly);

// The Find commands without their widgets: what each mode of the dialog does, the criterion each
// file list remembers for Find Next, and the conditions each search view was made from, for Edit
// Find. The window gives it the find of the active file list and the place searches show in.
class CFindSession final
{
public:
    // Finds in the active file list: the first row matching criterion, or the next after the
    // focused one. True when a row was found.
    using FindRows = std::function<bool(EFindMode mode, const QString& criterion)>;
    // Shows the search's rows in the view named by title: sql with condition ANDed into its WHERE.
    using ShowSearch =
        std::function<void(const QString& title, const QString& sql, const QString& condition)>;

    CFindSession(CUserInteraction& ui, FindRows findRows, ShowSearch showSearch);

    // The moment date conditions count back from (tests fix it); the clock when not set.
    void SetClock(std::function<QDateTime()> clock) { m_fnClock = std::move(clock); }

    // Carries out the dialog's answer. listKey names the active file list (its remembered
    // criterion). False when nothing was done: cancelled, no condition, a value that cannot be
    // used (said to the person), nothing found.
    bool Execute(const SFindRequest& request, CDbDatabase* db, const void* listKey);

    // F3: the list's last criterion found again; false when it has none (the dialog opens then).
    bool HasCriterion(const void* listKey) const { return m_criteria.contains(listKey); }
    bool FindNext(const void* listKey);
    // The list went away.
    void Forget(const void* listKey) { m_criteria.remove(listKey); }

    // The conditions and title the search view of that title was made from; empty when none.
    SFindRequest SearchRequest(const QString& title) const;
    // The title of the last search, for Edit Find where the window does not say which view is shown.
    QString LastSearchTitle() const { return m_strLastSearch; }
    void Clear();

private:
    CUserInteraction& m_ui;
    FindRows m_fnFindRows;
    ShowSearch m_fnShowSearch;
    std::function<QDateTime()> m_fnClock;
    QHash<const void*, QString> m_criteria;
    QHash<QString, SFindRequest> m_searches; // by case-folded title
    QString m_strLastSearch;
};
