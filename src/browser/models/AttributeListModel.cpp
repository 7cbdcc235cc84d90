#include "browser/models/AttributeListModel.h"

#include "browser/models/AttributeSelection.h"
#include "browser/models/AttributeVocabulary.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/NameList.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"

CAttributeListModel::CAttributeListModel(Vocabulary vocabulary, ListKind kind, CUserInteraction& ui,
                                         CDbRetryPolicy& policy, QObject* parent)
    : QAbstractListModel(parent), m_vocabulary(vocabulary), m_kind(kind), m_ui(ui), m_policy(policy)
{
}

QString CAttributeListModel::Table() const
{
    return m_vocabulary == Vocabulary::Keyword ? QStringLiteral("Keyword") : QStringLiteral("Category");
}

QString CAttributeListModel::Title() const
{
    const QString base =
        m_vocabulary == Vocabulary::Keyword ? QStringLiteral("Keywords") : QStringLiteral("Categories");
    switch (m_kind)
    {
    case ListKind::Current:
        return base + QStringLiteral(" (Current)");
    case ListKind::LastUsed:
        return base + QStringLiteral(" (Last Used)");
    case ListKind::All:
        break;
    }
    return base + QStringLiteral(" (All)");
}

void CAttributeListModel::SetDatabase(CDbDatabase* db, const QString& userName)
{
    m_pDatabase = db;
    m_strUserName = userName;
    Requery();
}

void CAttributeListModel::SetSelection(CAttributeSelection* selection)
{
    m_pSelection = selection;
    SelectionChanged();
}

void CAttributeListModel::SelectionChanged()
{
    if (m_kind == ListKind::Current)
    {
        Requery();
        return;
    }
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

bool CAttributeListModel::ReadRows(std::vector<CRow>& rows) const
{
    rows.clear();
    if (!m_pDatabase)
        return true;
    // Table and column names are the vocabulary's own, never a person's text.
    const QString table = Table();
    try
    {
        if (m_kind == ListKind::Current)
        {
            if (!m_pSelection)
                return true;
            CDbStatement lookup = m_pDatabase->Prepare(
                QStringLiteral("SELECT %1.%1, %1.%1Id FROM %1 WHERE %1.%1=?").arg(table));
            for (const QString& name : m_pSelection->Names())
            {
                lookup.Reset();
                lookup.Bind(1, name);
                CRow row;
                row.strName = name;
                if (lookup.Step())
                    row.lId = lookup.Value(1).ToLong();
                rows.push_back(row);
            }
            return true;
        }
        const QString sql =
            m_kind == ListKind::All
                ? QStringLiteral("SELECT %1.%1, %1.%1Id FROM %1 ORDER BY %1.%1, %1.%1Id").arg(table)
                : QStringLiteral(
                      "SELECT %1.%1, %1.%1Id, %1Usage.LastUsed FROM %1Usage INNER JOIN %1 ON %1Usage.%1Id = "
                      "%1.%1Id WHERE (%1Usage.[User]=?) ORDER BY %1Usage.LastUsed DESC, %1.%1")
                      .arg(table);
        CDbStatement st = m_pDatabase->Prepare(sql);
        if (m_kind == ListKind::LastUsed)
            st.Bind(1, m_strUserName);
        while (st.Step())
        {
            CRow row;
            row.strName = st.Value(0).ToString();
            row.lId = st.Value(1).ToLong();
            if (m_kind == ListKind::LastUsed)
                row.lastUsed = st.Value(2).ToDateTime();
            rows.push_back(row);
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CAttributesListView::OnUpdate() - %1 Requery").arg(Title()));
        rows.clear();
        return false;
    }
    return true;
}

bool CAttributeListModel::Requery()
{
    std::vector<CRow> rows;
    const bool ok = ReadRows(rows);
    beginResetModel();
    m_rows = std::move(rows);
    m_bNewRow = false;
    endResetModel();
    return ok;
}

bool CAttributeListModel::CanWrite() const
{
    return m_pDatabase && !m_pDatabase->IsReadOnly();
}

int CAttributeListModel::BeginNewRow()
{
    if (!CanWrite())
        return -1;
    if (m_bNewRow)
        return rowCount() - 1;
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back(CRow{});
    m_bNewRow = true;
    endInsertRows();
    return row;
}

void CAttributeListModel::DiscardNewRow()
{
    if (!m_bNewRow)
        return;
    const int row = rowCount() - 1;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.pop_back();
    m_bNewRow = false;
    endRemoveRows();
}

bool CAttributeListModel::IsNewRow(int row) const
{
    return m_bNewRow && row == rowCount() - 1;
}

bool CAttributeListModel::CommitEdit(int row, const QString& text)
{
    if (!CanWrite() || row < 0 || row >= rowCount())
        return false;
    // Blanks at either end are slips of the keyboard; a blank name is no name.
    const QString name = text.trimmed();
    if (name.isEmpty())
    {
        DiscardNewRow();
        return false;
    }
    // A file keeps its attributes in one text, separated by ";  ": a name holding the separator
    // would read back as two names.
    if (name.contains(NameList::kSeparator))
    {
        m_ui.MessageBox(
            QStringLiteral("A %1 cannot contain \";  \" (a semicolon and two blanks).").arg(Table()),
            QStringLiteral("Invalid %1").arg(Table()), MsgIcon::Warning, MsgButtons::Ok);
        DiscardNewRow();
        return false;
    }
    CAttributeVocabulary vocabulary(Table(), *m_pDatabase, m_ui, m_policy);
    const CRow edited = m_rows[static_cast<size_t>(row)];
    const auto result = IsNewRow(row) ? vocabulary.Add(name)
                                      : vocabulary.Rename(edited.lId, edited.strName, name, m_pSelection);
    DiscardNewRow();
    if (result != CAttributeVocabulary::EResult::Done)
        return false;
    AnnounceVocabularyChange();
    return true;
}

bool CAttributeListModel::DeleteAttribute(int row)
{
    if (!CanWrite() || row < 0 || row >= rowCount() || IsNewRow(row))
        return false;
    const CRow deleted = m_rows[static_cast<size_t>(row)];
    CAttributeVocabulary vocabulary(Table(), *m_pDatabase, m_ui, m_policy);
    if (vocabulary.Delete(deleted.lId, deleted.strName, m_pSelection) != CAttributeVocabulary::EResult::Done)
        return false;
    AnnounceVocabularyChange();
    return true;
}

void CAttributeListModel::AnnounceVocabularyChange()
{
    CWaitCursorScope wait(m_ui);
    m_ui.SetStatusText(QStringLiteral("Refreshing..."));
    Requery();
    emit vocabularyChanged();
    m_ui.SetStatusText(QString());
}

bool CAttributeListModel::RecordUsage(int row, const QString& name)
{
    const QString table = Table();
    return m_policy.Run(
        QStringLiteral("CAttributesListView::ToggleAttribute( %1 ) - Open").arg(row),
        [&]
        {
            CDbTransaction transaction(*m_pDatabase);
            CDbStatement find =
                m_pDatabase->Prepare(QStringLiteral("SELECT %1Id, %1 FROM %1 WHERE (%1=?)").arg(table));
            find.Bind(1, name);
            if (!find.Step())
                return; // not in the vocabulary: there is nothing to record
            const qint32 id = find.Value(0).ToLong();
            find.Reset();
            const QDateTime now = QDateTime::currentDateTime();
            const int changed = m_pDatabase->Execute(
                QStringLiteral("UPDATE %1Usage SET LastUsed=? WHERE %1Id=? AND [User]=?").arg(table),
                {CDbValue(now), CDbValue(id), CDbValue(m_strUserName)});
            if (changed == 0)
                m_pDatabase->Execute(
                    QStringLiteral("INSERT INTO %1Usage (%1Id, [User], LastUsed) VALUES (?, ?, ?)")
                        .arg(table),
                    {CDbValue(id), CDbValue(m_strUserName), CDbValue(now)});
            transaction.Commit();
        });
}

bool CAttributeListModel::ToggleAttribute(int row)
{
    if (!m_pSelection || !CanWrite() || row < 0 || row >= rowCount() || IsNewRow(row))
        return false;
    const QString name = m_rows[static_cast<size_t>(row)].strName;
    if (m_pSelection->Toggle(name))
        RecordUsage(row, name);
    emit dataChanged(index(row), index(row), {Qt::CheckStateRole});
    CWaitCursorScope wait(m_ui);
    m_ui.SetStatusText(QStringLiteral("Refreshing..."));
    emit attributeChanged();
    m_ui.SetStatusText(QString());
    return true;
}

int CAttributeListModel::LetterJump(QChar letter) const
{
    if (letter.unicode() < 0x20 || letter.unicode() > 0xAF)
        return -1;
    const QString typed(letter);
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (NameList::Compare(QStringView(m_rows[i].strName).left(1), typed) == 0)
            return static_cast<int>(i);
    return -1;
}

QString CAttributeListModel::NameAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<size_t>(row)].strName : QString();
}

qint32 CAttributeListModel::IdAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<size_t>(row)].lId : 0;
}

int CAttributeListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant CAttributeListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CRow& row = m_rows[static_cast<size_t>(index.row())];
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return row.strName;
    case Qt::CheckStateRole:
        if (IsNewRow(index.row()))
            return {};
        return static_cast<int>(m_pSelection ? m_pSelection->State(row.strName) : Qt::Unchecked);
    case IdRole:
        return row.lId;
    case LastUsedRole:
        return m_kind == ListKind::LastUsed ? QVariant(row.lastUsed) : QVariant();
    default:
        return {};
    }
}

bool CAttributeListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role == Qt::EditRole && index.isValid())
        return CommitEdit(index.row(), value.toString());
    // Any click on the box toggles: a view asks for "checked" on a partly checked row, but an
    // attribute that only some files have is taken off all of them, never put on the rest.
    if (role != Qt::CheckStateRole || !index.isValid())
        return false;
    return ToggleAttribute(index.row());
}

Qt::ItemFlags CAttributeListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (!CanWrite())
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (IsNewRow(index.row()))
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable |
           Qt::ItemNeverHasChildren;
}

QVariant CAttributeListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return Title();
    return QAbstractListModel::headerData(section, orientation, role);
}
