#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// One line of the synchronizer's task list: one folder group of one task, or the head row of a
// task with several groups.

enum TaskKind : int
{
    TaskKindUnknown = 0,
    TaskKindAddFiles = 1,
    TaskKindMarkDeleted = 2,
    TaskKindUpdateTTH = 3,
};

enum TaskStatus : int
{
    TaskStatusQueued = 0,
    TaskStatusProcessing = 1,
    TaskStatusCompleted = 2,
    TaskStatusCancelled = 3,
    TaskStatusMediaNotFound = 4,
};

enum TaskPosition : int
{
    TaskPositionSingle = 1,
    TaskPositionTop = 2,
    TaskPositionGroup = 3,
    TaskPositionLastGroup = 4,
};

struct CMwuTaskError
{
    QString path;
    QString message;
};

struct CMwuTask
{
    TaskKind m_kind = TaskKindUnknown;
    QString m_strDatabase;
    qint32 m_lCatalogueId = -1;
    QString m_strCatalogue;
    TaskStatus m_status = TaskStatusQueued;
    qint32 m_lProgressCurrent = 0;
    qint32 m_lProgressMax = 0;
    QString m_strDriveType;
    QString m_strVolume;
    qint32 m_lVolumeSerial = 0;
    QString m_strLocation;
    QString m_strRelativePath;
    qint32 m_lRelativePathId = 0;
    QString m_strLocalMachine;
    QString m_strUser;
    TaskPosition m_position = TaskPositionSingle;
    std::vector<CMwuTaskError> m_errors;
};

QString TaskKindText(int kind);
QString TaskStatusText(int status, bool bPaused);
// "%d/%d" while there is a maximum, else empty.
QString TaskProgressText(const CMwuTask& task);
