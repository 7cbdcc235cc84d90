#pragma once

#include <QAbstractListModel>
#include <QDateTime>
#include <QString>

#include <vector>

class CDbDatabase;
class CDbRetryPolicy;
class CUserInteraction;
struct CAttributeSelection;

// One of the six attribute lists of the navigator: for keywords or categories, the attributes of
// the selected files (Current), those this user applied most recently (Last Used) or the whole
// vocabulary (All). Every row has a check box that shows whether all, some or none of the
// selected files carry the attribute; checking it puts the attribute on all of them (and records
// its use for this user), unchecking takes it off all of them. The two name lists of the
// selection are shared by the six lists and owned by their owner; the change reaches the files
// when the file details are saved.
//
// Roles, besides Qt::DisplayRole (the name) and Qt::CheckStateRole:
//   IdRole        KeywordId or CategoryId (0 when the name has no row in the vocabulary)
//   LastUsedRole  Last Used lists: when this user last applied it
class CAttributeListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    enum class Vocabulary
    {
        Keyword,
        Category,
    };
    enum class ListKind
    {
        Current,
        LastUsed,
        All,
    };
    enum Role
    {
        IdRole = Qt::UserRole + 1,
        LastUsedRole,
    };

    CAttributeListModel(Vocabulary vocabulary, ListKind kind, CUserInteraction& ui, CDbRetryPolicy& policy,
                        QObject* parent = nullptr);

    ListKind Kind() const { return m_kind; }
    // "Keyword" or "Category": the table and its name column.
    QString Table() const;
    // The list's single column heading: "Keywords (Current)", "Categories (All)" and so on.
    QString Title() const;

    // The database and the user whose usage rows are read and written; nullptr empties the list.
    void SetDatabase(CDbDatabase* db, const QString& userName);
    // The selected files' name lists (not owned; nullptr: no files selected).
    void SetSelection(CAttributeSelection* selection);
    // The selection's lists changed elsewhere: the check boxes are drawn again (a Current list
    // reads its rows again).
    void SelectionChanged();

    // Reads the rows again. False when the database could not be read (logged).
    bool Requery();

    // Toggles the attribute of a row on the selected files; a newly set attribute's use is
    // recorded for this user. False when there is no such row or no selection.
    bool ToggleAttribute(int row);
    // The first row whose name starts with the character (without regard to case), -1 when none
    // or when the character is outside the range that jumps (blank to 0xAF).
    int LetterJump(QChar letter) const;

    // The vocabulary's commands. The new row is an empty row at the end, to be named by an edit
    // of its text (setData with Qt::EditRole, or CommitEdit); a rename is the same edit on an
    // existing row. Each returns true when the vocabulary changed; the lists then read again.
    int BeginNewRow();
    // The edit of the new row was cancelled: the row goes.
    void DiscardNewRow();
    bool IsNewRow(int row) const;
    bool CommitEdit(int row, const QString& text);
    bool DeleteAttribute(int row);

    QString NameAt(int row) const;
    qint32 IdAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // An attribute was toggled: the sibling lists and the file details form refresh, and the
    // document has pending attribute edits.
    void attributeChanged();
    // An attribute was added, renamed, merged or deleted: every list of the vocabulary reads again.
    void vocabularyChanged();

private:
    struct CRow
    {
        QString strName;
        qint32 lId = 0;
        QDateTime lastUsed;
    };

    bool ReadRows(std::vector<CRow>& rows) const;
    // A database opened read-only is shown as it is: nothing toggles, is named or goes.
    bool CanWrite() const;
    bool RecordUsage(int row, const QString& name);
    void AnnounceVocabularyChange();

    Vocabulary m_vocabulary;
    ListKind m_kind;
    CUserInteraction& m_ui;
    CDbRetryPolicy& m_policy;
    CDbDatabase* m_pDatabase = nullptr;
    QString m_strUserName;
    CAttributeSelection* m_pSelection = nullptr;
    std::vector<CRow> m_rows;
    bool m_bNewRow = false; // the last row is the unnamed one of New
};
