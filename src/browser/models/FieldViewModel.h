#pragma once

#include "browser/models/FieldViewColumns.h"

#include <QAbstractListModel>

class CDbDatabase;
class CDbRetryPolicy;

// The columns of the field view a file list shows, one row per column in order, for a header or a
// column chooser. Setting WidthRole remembers the width for this user.
//
// Roles, besides Qt::DisplayRole (the caption):
//   FieldIdRole, TableFieldRole, TypeRole, FormatRole, OrderRole: the Field and view rows
//   WidthRole         the user's width, else the field's default width (0: none given)
//   UserWidthRole     whether the width is the user's own
//   KindRole          CDataCtrlDescriptor kind: 0 text, 1 number, 6 file size
//   SortPriorityRole  rank among the secondary sort keys, 0 for none
class CFieldViewModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        FieldIdRole = Qt::UserRole + 1,
        TableFieldRole,
        TypeRole,
        FormatRole,
        OrderRole,
        WidthRole,
        UserWidthRole,
        KindRole,
        SortPriorityRole,
    };

    CFieldViewModel(CDbRetryPolicy& policy, QObject* parent = nullptr);

    // Reads the view of that name for the user; an unknown name gives no columns (false).
    bool Load(CDbDatabase* db, const QString& userName, const QString& viewName);
    // Reads the view the user has chosen for lists of that kind.
    bool LoadCurrent(CDbDatabase* db, const QString& userName, CFieldViewColumns::ListKind kind);
    const CFieldViewColumns& Columns() const { return m_columns; }

    bool SetColumnWidth(int row, int width);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    CDbRetryPolicy& m_policy;
    CDbDatabase* m_pDatabase = nullptr;
    QString m_strUserName;
    CFieldViewColumns m_columns;
};
