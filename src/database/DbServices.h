#pragma once

#include <QString>

#include <optional>

class CDbDatabase;
class CDbRetryPolicy;

// Services both programs use on an open catalogue database.

// The log contexts of GetNewRecSetId: "%s" stands for the identifier name. getting is used while
// the counter is read or advanced, adding while its first row is being added.
struct SRecSetIdContexts
{
    QString getting = QStringLiteral("CMirrowelDoc::GetNewRecSetId() : Getting %s");
    QString adding = QStringLiteral("CMirrowelDoc::GetNewRecSetId() : Adding new %s");
};

// The next identifier for a name such as "File_FileId": 1 and a new IndexId row the first time,
// then one more than the last one handed out. The counter is read and advanced in one write
// transaction, so two programs never receive the same value. Writes run under policy; when the
// person gives up, the result is -1 and nothing was stored.
qint32 GetNewRecSetId(CDbDatabase& db, const QString& name, CDbRetryPolicy& policy,
                      const SRecSetIdContexts& contexts = SRecSetIdContexts());

// Locks the counter row of an identifier name for the rest of the caller's write transaction, then
// reads it: nobody else advances the counter before the commit, on a file (one writer at a time)
// or on a server (the row's lock). For writers that take many identifiers at once. nullopt when
// the name has no row yet; a counter without a value reads as 0.
std::optional<qint32> LockRecSetIdCounter(CDbDatabase& db, const QString& name);
// Takes count identifiers of a name at once, in the caller's write transaction: the counter row is
// locked as above and advanced past them (made when missing). Returns the first of them.
qint32 ReserveRecSetIds(CDbDatabase& db, const QString& name, qint32 count);

// The Value of the Parameter row of that name; "" when the row is missing, its value is Null, or
// db is null or closed. An engine error is logged with context and gives "".
QString GetDatabaseParameter(CDbDatabase* db, const QString& name,
                             const QString& context = QStringLiteral("CMirrowelDoc::GetDatabaseParameter() - ParameterRecSet.Open"));

// Edits the Parameter row of that name, or adds it. False when db is null or closed, or when the
// write failed (logged with context).
bool SetDatabaseParameter(CDbDatabase* db, const QString& name, const QString& value,
                          const QString& context = QStringLiteral("CMirrowelDoc::SetDatabaseParameter() - ParameterRecSet.Open"));

// The schema version as a number: the leading numeric part of the Version parameter ("1.004" is
// 1.004), 0 when it is empty or not a number.
double DatabaseVersionFromText(const QString& text);
double GetDatabaseVersion(CDbDatabase* db);

// The version that this program creates and accepts.
constexpr double kCurrentDatabaseVersion = 1.004;
