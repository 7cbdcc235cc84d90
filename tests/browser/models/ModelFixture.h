#pragma once

#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/TemplateDatabase.h"

#include <QAbstractItemModel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A catalogue database made from the template in a temporary folder, with the rows every model
// test reads: nested groups, catalogues on several drive types, folders, marks for two users,
// query groups, field views and attributes.
class ModelFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        SetProcessUserInteraction(&m_ui);
        m_policy.SetWait([](auto) {});
        m_path = m_dir.filePath(QStringLiteral("models.qrl"));
        QString error;
        ASSERT_TRUE(WriteTemplateDatabase(m_path, &error)) << error.toStdString();
        m_db.Open(m_path);
        m_db.SetUserName(QStringLiteral("alice"));
        Fill();
    }

    void TearDown() override
    {
        m_db.Close();
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
    }

    void Sql(const QString& sqliteSql) { m_db.ExecuteSqliteScript(sqliteSql); }

    qint32 Long(const QString& jetSql)
    {
        CDbStatement st = m_db.Prepare(jetSql);
        return st.Step() ? st.Value(0).ToLong() : -1;
    }

    void AddFile(qint32 fileId, qint32 catalogueId, qint32 relativePathId, bool deleted = false)
    {
        Sql(QStringLiteral("INSERT INTO \"File\" (CatalogueId, RelativePathId, FileId, \"File\", FileSize, "
                           "FileSizeHigh, "
                           "FileSizeDouble, Deleted) VALUES (%1, %2, %3, 'f%3.bin', %3, 0, %3, %4)")
                .arg(catalogueId)
                .arg(relativePathId)
                .arg(fileId)
                .arg(deleted ? 1 : 0));
    }

    // Texts of the children of parent, in row order.
    static QStringList Texts(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex())
    {
        QStringList texts;
        for (int row = 0; row < model.rowCount(parent); ++row)
            texts.append(model.index(row, 0, parent).data().toString());
        return texts;
    }
    // The child of parent with that text.
    static QModelIndex Child(const QAbstractItemModel& model, const QString& text,
                             const QModelIndex& parent = QModelIndex())
    {
        for (int row = 0; row < model.rowCount(parent); ++row)
            if (model.index(row, 0, parent).data().toString() == text)
                return model.index(row, 0, parent);
        return {};
    }

    QTemporaryDir m_dir;
    CScriptedInteraction m_ui;
    CDbRetryPolicy m_policy{m_ui};
    QString m_path;
    CDbDatabase m_db;

private:
    void Fill()
    {
        // Groups: Media > Films > Old > Older nests three deep; "b", "A" and "a2" sort by letter
        // without regard to case; Empty has nothing in it.
        Sql(QStringLiteral("INSERT INTO \"Group\" (GroupId, \"Group\", ParentGroupId) VALUES "
                           "(1, 'Media', 0), (2, 'b', 0), (3, 'A', 0), (4, 'a2', 0), (5, 'Films', 1), "
                           "(6, 'Old', 5), (7, 'Older', 6), (8, 'Empty', 1)"));
        Sql(QStringLiteral(
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType) VALUES "
            "(0, 1, 'Disk', 'Fixed'), (0, 2, 'cd', 'CD-ROM'), (5, 3, 'Archive', 'Removable'), "
            "(7, 4, 'Deep', 'Network'), (0, 5, 'RootOnly', 'RAM Disk'), (0, 6, 'Weird', 'Floppy'), "
            "(0, 7, 'Gone', 'Removable')"));
        Sql(QStringLiteral(
            "INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES "
            "(1, 'Music'), (2, 'Music\\Rock'), (3, 'music/rock'), (4, 'Photos'), (5, 'Old\\Trash'), "
            "(6, 'b'), (7, 'A'), (8, 'a2')"));
        qint32 id = 1;
        for (const qint32 folder : {0, 1, 2, 3, 4, 6, 7, 8})
            AddFile(id++, 1, folder);
        AddFile(id++, 1, 5, true);
        AddFile(id++, 5, 0);
        AddFile(id++, 5, 0);
        AddFile(id++, 7, 0);
        AddFile(id++, 7, 5, true);
        AddFile(id++, 3, 1);
        AddFile(id++, 4, 4);
        // alice: Disk checked, cd excluded; bob: Disk unchecked, cd checked and excluded.
        Sql(QStringLiteral(
            "INSERT INTO CatalogueUserSelect (CatalogueId, \"User\", CatalogueSelect, "
            "ExcludeFromDuplicate) VALUES (1, 'alice', 1, 0), (2, 'alice', 0, 1), (1, 'bob', 0, 0), "
            "(2, 'bob', 1, 1)"));
    }
};
