#include "database/PgEngine.h"

#include "common/DbException.h"
#include "database/DbErrorCodes.h"
#include "database/DbErrors.h"
#include "database/JetSql.h"
#include "database/PgServerFunctions.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

#ifdef QUARRANE_HAVE_POSTGRESQL
#include <libpq-fe.h>

namespace
{
// Type identifiers of the server's built-in types (pg_type.oid), fixed across versions.
constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kTextOid = 25;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kTimestampOid = 1114;
constexpr Oid kNumericOid = 1700;

QString ServerMessage(const PGresult* result, const PGconn* conn)
{
    const char* text = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    return QString::fromUtf8(text ? text : PQerrorMessage(conn)).trimmed();
}

// The server's SQLSTATE in the engine error numbers that callers decide by.
long JetCodeFromState(const QByteArray& state, const QByteArray& constraint)
{
    if (state == "23505")
        return DbErrors::kDuplicateKey;
    if (state == "23503")
        return DbErrors::kRelatedRecordRequired;
    if (state == "23502")
        return DbErrors::kRequiredField;
    if (state == "23514")
    {
        if (constraint.endsWith("_NotEmpty"))
            return DbErrors::kZeroLengthString;
        if (constraint.endsWith("_Length"))
            return DbErrors::kFieldTooSmall;
        return DbErrors::kValidationRule;
    }
    if (state == "22001")
        return DbErrors::kFieldTooSmall;
    // Another session holds what this one needs: the retry rules wait and try again.
    if (state == "40001" || state == "40P01" || state == "55P03" || state == "55006")
        return DbErrors::kLocked;
    if (state == "42P01" || state == "42883" || state == "42703")
        return DbErrors::kInputNotFound;
    if (state.startsWith("42") && state != "42501")
        return DbErrors::kSyntaxError;
    if (state.startsWith("08") || state == "57P01" || state == "57P02" || state == "57P03")
        return DbErrors::kDiskOrNetworkError;
    if (state == "3D000")
        return DbErrors::kFileNotFound;
    if (state.startsWith("28"))
        return DbErrors::kCannotOpen;
    if (state == "53100")
        return DbErrors::kDiskFull;
    if (state == "53200")
        return DbErrors::kResourcesExceeded;
    // A read-only transaction, or a login that may read but not write.
    if (state == "25006" || state == "42501")
        return DbErrors::kReadOnly;
    return DbErrors::kInvalidArgument;
}

// A value as the server reads a parameter of it: text, Null as none.
std::optional<QByteArray> ParameterText(const CDbValue& value)
{
    switch (value.GetType())
    {
    case CDbValue::Type::Null:
        return std::nullopt;
    case CDbValue::Type::Bool:
        return value.ToBool() ? QByteArray("1") : QByteArray("0");
    case CDbValue::Type::Double:
        return QByteArray::number(value.ToDouble(), 'g', 17);
    default:
        return value.ToString().toUtf8();
    }
}

// Appends a value in COPY's text format. A parameter's text ends at its first zero byte, so the
// copied text does too: both ways store the same.
void AppendCopyField(QByteArray& data, const std::optional<QByteArray>& text)
{
    if (!text)
    {
        data += "\\N";
        return;
    }
    const auto plain = [](char c) { return c != '\0' && c != '\\' && c != '\t' && c != '\n' && c != '\r'; };
    if (std::all_of(text->cbegin(), text->cend(), plain))
    {
        data += *text;
        return;
    }
    for (const char c : *text)
    {
        switch (c)
        {
        case '\0':
            return;
        case '\\':
            data += "\\\\";
            break;
        case '\t':
            data += "\\t";
            break;
        case '\n':
            data += "\\n";
            break;
        case '\r':
            data += "\\r";
            break;
        default:
            data += c;
            break;
        }
    }
}

void ClearResult(PGresult* result)
{
    PQclear(result);
}

std::shared_ptr<PGresult> Hold(PGresult* result)
{
    return std::shared_ptr<PGresult>(result, ClearResult);
}

// A statement run under a savepoint of its own inside a transaction, so that its failure leaves
// the transaction usable (SQLite undoes the one statement only).
class CStatementSavepoint final
{
public:
    explicit CStatementSavepoint(PGconn* conn)
        : m_conn(PQtransactionStatus(conn) == PQTRANS_INTRANS ? conn : nullptr)
    {
        if (m_conn)
            PQclear(PQexec(m_conn, "SAVEPOINT qrl_statement"));
    }
    void Done(bool succeeded)
    {
        if (m_conn)
            PQclear(PQexec(
                m_conn, succeeded ? "RELEASE SAVEPOINT qrl_statement"
                                  : "ROLLBACK TO SAVEPOINT qrl_statement; RELEASE SAVEPOINT qrl_statement"));
        m_conn = nullptr;
    }

private:
    PGconn* m_conn;
};
} // namespace

bool CPgConnection::Available()
{
    return true;
}

CPgConnection::CPgConnection(const QString& address) : m_strDisplayAddress(PgSql::DisplayAddress(address))
{
    m_conn = PQconnectdb(address.toUtf8().constData());
    if (PQstatus(m_conn) == CONNECTION_OK)
    {
        // Dates travel as text that sorts as it reads, as in a catalogue file.
        ExecuteScript(QStringLiteral(
            "SET DateStyle = ISO; SET client_encoding = 'UTF8'; SET client_min_messages = WARNING"));
        return;
    }
    const QString message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    PQfinish(m_conn);
    m_conn = nullptr;
    long code = DbErrors::kDiskOrNetworkError;
    if (message.contains(QLatin1String("does not exist")))
        code = DbErrors::kFileNotFound;
    else if (message.contains(QLatin1String("authentication")) ||
             message.contains(QLatin1String("permission")) || message.contains(QLatin1String("role")))
        code = DbErrors::kCannotOpen;
    throw CDbException(code, QStringLiteral("Could not connect to the catalogue server: %1").arg(message));
}

CPgConnection::~CPgConnection()
{
    if (m_conn)
        PQfinish(m_conn);
}

void CPgConnection::Check(PGresult* result)
{
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY)
        return;
    const auto field = [result](int which)
    {
        const char* text = result ? PQresultErrorField(result, which) : nullptr;
        return QByteArray(text ? text : "");
    };
    const QByteArray state = field(PG_DIAG_SQLSTATE);
    const QByteArray constraint = field(PG_DIAG_CONSTRAINT_NAME);
    long code = JetCodeFromState(state.isEmpty() ? QByteArray("08000") : state, constraint);
    const QString message = ServerMessage(result, m_conn);
    // A foreign key refused on delete or update of the row referred to, not on the referring one.
    if (code == DbErrors::kRelatedRecordRequired &&
        message.contains(QLatin1String("update or delete on table")))
        code = DbErrors::kRelatedRecords;
    // A catalogue made by an earlier build that its owner has not opened for writing since.
    if (state == "42883")
        if (const QString function = PgServerFunctions::NamedIn(message); !function.isEmpty())
            throw CDbException(DbErrors::kInputNotFound,
                               PgServerFunctions::MissingText(function, m_strDisplayAddress));
    // Two statements in one text, refused as SQLite's engine layer refuses them.
    if (state == "42601" && message.contains(QLatin1String("multiple commands")))
        code = DbErrors::kTextAfterStatement;
    // The same words as for a file: the rule's column ("Table_Column_Rule") or the column itself,
    // in the form SQLite's messages give them.
    QString rule = QString::fromUtf8(constraint);
    const QByteArray table = field(PG_DIAG_TABLE_NAME);
    const QByteArray column = field(PG_DIAG_COLUMN_NAME);
    if (!table.isEmpty() && !column.isEmpty())
        rule = QString::fromUtf8(table + '.' + column);
    const bool namesRule = code == DbErrors::kDuplicateKey || code == DbErrors::kRequiredField ||
                           code == DbErrors::kZeroLengthString || code == DbErrors::kFieldTooSmall ||
                           code == DbErrors::kValidationRule;
    throw CDbException(code, DbErrors::JetDescription(code, namesRule && !rule.isEmpty()
                                                                ? QStringLiteral("failed: ") + rule
                                                                : message));
}

void CPgConnection::ExecuteScript(const QString& sql)
{
    // SQLite's settings (cache, checkpoints) have nothing to set on a server.
    static const QRegularExpression pragmas(QStringLiteral(R"(^(\s*PRAGMA\b[^;]*(;|$))+\s*$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (pragmas.match(sql).hasMatch())
        return;
    // Transaction control runs as it is: a savepoint around it would end with the savepoints it
    // makes.
    static const QRegularExpression control(
        QStringLiteral(R"(^\s*(BEGIN|COMMIT|END|ROLLBACK|SAVEPOINT|RELEASE|SET)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    if (control.match(sql).hasMatch())
    {
        Check(Hold(PQexec(m_conn, sql.toUtf8().constData())).get());
        return;
    }
    m_bNamesStale = true;
    CStatementSavepoint savepoint(m_conn);
    const std::shared_ptr<PGresult> result = Hold(PQexec(m_conn, sql.toUtf8().constData()));
    try
    {
        Check(result.get());
    }
    catch (...)
    {
        savepoint.Done(false);
        throw;
    }
    savepoint.Done(true);
}

void CPgConnection::ReadNames()
{
    m_bNamesStale = false;
    m_names.clear();
    CStatementSavepoint savepoint(m_conn);
    const std::shared_ptr<PGresult> result = Hold(
        PQexec(m_conn,
               "SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() UNION "
               "SELECT column_name FROM information_schema.columns WHERE table_schema = current_schema()"));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
    {
        savepoint.Done(false);
        return;
    }
    savepoint.Done(true);
    for (int row = 0; row < PQntuples(result.get()); ++row)
    {
        const QString name = QString::fromUtf8(PQgetvalue(result.get(), row, 0));
        m_names.insert(name.toLower(), name);
    }
}

std::shared_ptr<const CPgConnection::CPrepared> CPgConnection::Prepared(const QString& engineSql)
{
    if (const auto it = m_prepared.find(engineSql); it != m_prepared.end())
    {
        (*it)->lastUse = ++m_uses;
        return *it;
    }
    if (m_prepared.size() >= kMaxPrepared)
        ForgetUnusedStatements();
    auto prepared = std::make_shared<CPrepared>();
    if (m_bNamesStale)
        ReadNames();
    prepared->text = PgSql::FromEngineSql(engineSql, m_names);
    prepared->name = QStringLiteral("qrl%1").arg(++m_statementNumber);
    prepared->lastUse = ++m_uses;
    const QByteArray name = prepared->name.toUtf8();
    const QByteArray sql = prepared->text.sql.toUtf8();
    // A parameter whose type nothing in the statement tells ("? Is Null", "x LIKE ? & '*'") is
    // text, as it would be on SQLite: the server names it, and it is prepared again with that type.
    static const QRegularExpression indeterminate(QStringLiteral(R"(parameter \$(\d+))"));
    std::vector<Oid> types;
    for (;;)
    {
        CStatementSavepoint savepoint(m_conn);
        const std::shared_ptr<PGresult> made = Hold(PQprepare(m_conn, name.constData(), sql.constData(),
                                                              static_cast<int>(types.size()), types.data()));
        const char* state = PQresultErrorField(made.get(), PG_DIAG_SQLSTATE);
        const QRegularExpressionMatch which = indeterminate.match(ServerMessage(made.get(), m_conn));
        if (state && QByteArrayView(state) == "42P18" && which.hasMatch() &&
            which.captured(1).toInt() <= 1000)
        {
            savepoint.Done(false);
            const auto number = static_cast<size_t>(which.captured(1).toInt());
            if (types.size() < number)
                types.resize(number, 0);
            if (types[number - 1] != 0)
                Check(made.get());
            types[number - 1] = kTextOid;
            continue;
        }
        try
        {
            Check(made.get());
        }
        catch (...)
        {
            savepoint.Done(false);
            throw;
        }
        savepoint.Done(true);
        break;
    }
    prepared->description = Hold(PQdescribePrepared(m_conn, name.constData()));
    Check(prepared->description.get());
    prepared->parameterCount = PQnparams(prepared->description.get());
    m_prepared.insert(engineSql, prepared);
    return prepared;
}

void CPgConnection::ForgetUnusedStatements()
{
    // The least recently used statements that no caller holds, down to three quarters of the
    // bound: a program that builds texts (searches, one per name) would otherwise keep a server
    // statement for each of them for as long as it runs.
    std::vector<std::pair<qint64, QString>> idle;
    for (auto it = m_prepared.cbegin(); it != m_prepared.cend(); ++it)
        if (it.value().use_count() == 1)
            idle.emplace_back(it.value()->lastUse, it.key());
    std::sort(idle.begin(), idle.end());
    const qsizetype excess = m_prepared.size() - kMaxPrepared * 3 / 4;
    for (qsizetype i = 0; i < excess && i < static_cast<qsizetype>(idle.size()); ++i)
    {
        const QString name = m_prepared.take(idle[static_cast<size_t>(i)].second)->name;
        PQclear(PQexec(m_conn, QStringLiteral("DEALLOCATE %1").arg(name).toUtf8().constData()));
    }
}

int CPgConnection::PreparedCount() const
{
    return static_cast<int>(m_prepared.size());
}

std::unique_ptr<CPgStatement> CPgConnection::Prepare(const QString& engineSql)
{
    return std::make_unique<CPgStatement>(*this, engineSql);
}

void CPgConnection::CopyRows(const QString& table, const QStringList& columns,
                             const std::vector<CDbValue>& values)
{
    if (columns.isEmpty() || values.empty())
        return;
    const auto quoted = [](const QString& name) { return CJetSql::QuoteText(name, QLatin1Char('"')); };
    QStringList names;
    for (const QString& column : columns)
        names << quoted(column);
    const QString copy =
        QStringLiteral("COPY %1 (%2) FROM STDIN").arg(quoted(table), names.join(QLatin1String(", ")));
    // The savepoint, the COPY and the release in one query text: the server runs the release once
    // the rows are in, and skips it when the COPY fails.
    const bool inTransaction = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    const QByteArray command =
        inTransaction ? ("SAVEPOINT qrl_statement; " + copy + "; RELEASE SAVEPOINT qrl_statement").toUtf8()
                      : copy.toUtf8();
    if (!PQsendQuery(m_conn, command.constData()))
        Check(nullptr);
    std::shared_ptr<PGresult> failed;
    // The results of the query text in order: the savepoint's, then the COPY asking for rows.
    for (;;)
    {
        std::shared_ptr<PGresult> result = Hold(PQgetResult(m_conn));
        if (!result)
            break;
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_COPY_IN)
        {
            const auto width = static_cast<size_t>(columns.size());
            QByteArray data;
            constexpr qsizetype kChunk = 1 << 16;
            bool sent = true;
            for (size_t i = 0; i < values.size() && sent; ++i)
            {
                AppendCopyField(data, ParameterText(values[i]));
                data += (i + 1) % width == 0 ? '\n' : '\t';
                if (data.size() >= kChunk || i + 1 == values.size())
                {
                    sent = PQputCopyData(m_conn, data.constData(), static_cast<int>(data.size())) == 1;
                    data.clear();
                }
            }
            // A row left short by a value too few would be refused by the server anyway; ending
            // the COPY with an error of our own names the real cause.
            const bool whole = values.size() % width == 0;
            PQputCopyEnd(m_conn, sent && whole ? nullptr : "rows do not fill the columns");
            continue;
        }
        if (status != PGRES_COMMAND_OK && !failed)
            failed = std::move(result);
    }
    if (failed)
    {
        if (inTransaction)
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT qrl_statement; RELEASE SAVEPOINT qrl_statement"));
        Check(failed.get());
    }
}

bool CPgConnection::InTransaction() const
{
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

void CPgConnection::SetUserName(const QString& userName)
{
    const QByteArray value = userName.toUtf8();
    const char* values[] = {value.constData()};
    const std::shared_ptr<PGresult> result = Hold(PQexecParams(
        m_conn, "SELECT set_config('quarrane.user', $1, false)", 1, nullptr, values, nullptr, nullptr, 0));
    Check(result.get());
}

void CPgConnection::SetLockTimeout(int milliseconds)
{
    ExecuteScript(QStringLiteral("SET lock_timeout = %1").arg(std::max(1, milliseconds)));
}

QStringList CPgConnection::MissingFunctions()
{
    // Every signature in one round trip: each program asks on every open for writing.
    const QByteArray signatures = PgServerFunctions::Signatures().join(QLatin1Char(';')).toUtf8();
    const char* values[] = {signatures.constData()};
    const std::shared_ptr<PGresult> result =
        Hold(PQexecParams(m_conn,
                          "SELECT s FROM unnest(string_to_array($1, ';')) WITH ORDINALITY AS f(s, n) "
                          "WHERE to_regprocedure(s) IS NULL ORDER BY n",
                          1, nullptr, values, nullptr, nullptr, 0));
    Check(result.get());
    QStringList missing;
    for (int row = 0; row < PQntuples(result.get()); ++row)
        missing.append(QString::fromUtf8(PQgetvalue(result.get(), row, 0)));
    return missing;
}

QString CPgConnection::TableName(unsigned int tableOid)
{
    if (tableOid == InvalidOid)
        return QString();
    if (const auto it = m_tableNames.constFind(tableOid); it != m_tableNames.constEnd())
        return *it;
    const QByteArray id = QByteArray::number(tableOid);
    const char* values[] = {id.constData()};
    const std::shared_ptr<PGresult> result = Hold(PQexecParams(
        m_conn, "SELECT relname FROM pg_class WHERE oid = $1::oid", 1, nullptr, values, nullptr, nullptr, 0));
    Check(result.get());
    const QString name =
        PQntuples(result.get()) > 0 ? QString::fromUtf8(PQgetvalue(result.get(), 0, 0)) : QString();
    m_tableNames.insert(tableOid, name);
    return name;
}

CPgStatement::CPgStatement(CPgConnection& connection, QString engineSql)
    : m_connection(connection), m_engineSql(std::move(engineSql)),
      m_prepared(connection.Prepared(m_engineSql))
{
    m_values.resize(static_cast<size_t>(m_prepared->parameterCount));
}

void CPgStatement::Bind(int position, const CDbValue& value)
{
    if (position < 1 || position > static_cast<int>(m_values.size()))
        throw CDbException(DbErrors::kInvalidArgument,
                           QStringLiteral("Parameter %1 not found in this statement.").arg(position));
    m_values[static_cast<size_t>(position - 1)] = ParameterText(value);
}

int CPgStatement::ParameterIndex(const QString& name) const
{
    QString bare = name;
    if (bare.startsWith(QLatin1Char(':')) || bare.startsWith(QLatin1Char('@')) ||
        bare.startsWith(QLatin1Char('$')))
        bare.remove(0, 1);
    return static_cast<int>(m_prepared->text.parameterNames.indexOf(bare)) + 1;
}

int CPgStatement::ParameterCount() const
{
    return m_prepared->parameterCount;
}

void CPgStatement::Run()
{
    std::vector<const char*> values;
    values.reserve(m_values.size());
    for (const std::optional<QByteArray>& value : m_values)
        values.push_back(value ? value->constData() : nullptr);
    PGconn* conn = m_connection.Handle();
    const QByteArray name = m_prepared->name.toUtf8();
    if (PQtransactionStatus(conn) != PQTRANS_INTRANS)
        m_result = Hold(PQexecPrepared(conn, name.constData(), static_cast<int>(values.size()), values.data(),
                                       nullptr, nullptr, 0));
    else
        m_result = RunUnderSavepoint(conn, name, values);
    try
    {
        m_connection.Check(m_result.get());
    }
    catch (...)
    {
        m_result.reset();
        throw;
    }
    const char* changed = PQcmdTuples(m_result.get());
    m_changes =
        PQresultStatus(m_result.get()) == PGRES_COMMAND_OK && changed && *changed ? std::atoi(changed) : 0;
    m_row = -1;
}

std::shared_ptr<PGresult> CPgStatement::RunUnderSavepoint(pg_conn* conn, const QByteArray& name,
                                                          const std::vector<const char*>& values)
{
    // The savepoint, the statement and the release in one round trip (a pipeline): inside a
    // transaction every statement runs so, and three round trips each would cost more than most
    // statements themselves.
    if (!PQenterPipelineMode(conn))
    {
        CStatementSavepoint savepoint(conn);
        std::shared_ptr<PGresult> result = Hold(PQexecPrepared(
            conn, name.constData(), static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0));
        const ExecStatusType status = PQresultStatus(result.get());
        savepoint.Done(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
        return result;
    }
    PQsendQueryParams(conn, "SAVEPOINT qrl_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    PQsendQueryPrepared(conn, name.constData(), static_cast<int>(values.size()), values.data(), nullptr,
                        nullptr, 0);
    PQsendQueryParams(conn, "RELEASE SAVEPOINT qrl_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    PQpipelineSync(conn);
    // Each query's result is followed by a null; the sync's result ends the pipeline.
    std::shared_ptr<PGresult> results[3];
    for (std::shared_ptr<PGresult>& result : results)
    {
        result = Hold(PQgetResult(conn));
        while (PGresult* extra = PQgetResult(conn))
            PQclear(extra);
    }
    while (PGresult* rest = PQgetResult(conn))
    {
        const bool synced = PQresultStatus(rest) == PGRES_PIPELINE_SYNC;
        PQclear(rest);
        if (synced)
            break;
    }
    PQexitPipelineMode(conn);
    const ExecStatusType status = results[1] ? PQresultStatus(results[1].get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    {
        // The statement failed (or the savepoint before it): undo it alone, as SQLite does.
        PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT qrl_statement; RELEASE SAVEPOINT qrl_statement"));
        if (results[0] && PQresultStatus(results[0].get()) != PGRES_COMMAND_OK)
            return results[0];
    }
    return results[1];
}

bool CPgStatement::Step()
{
    if (!m_result)
        Run();
    ++m_row;
    if (m_row < PQntuples(m_result.get()))
        return true;
    m_row = PQntuples(m_result.get());
    return false;
}

int CPgStatement::Execute()
{
    Reset();
    Run();
    const int changes = m_changes;
    Reset();
    return changes;
}

void CPgStatement::Reset()
{
    m_result.reset();
    m_row = -1;
}

int CPgStatement::ColumnCount() const
{
    return PQnfields(m_prepared->description.get());
}

QString CPgStatement::ColumnName(int ordinal) const
{
    return QString::fromUtf8(PQfname(m_prepared->description.get(), ordinal));
}

int CPgStatement::ColumnIndex(const QString& name) const
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const int count = ColumnCount();
    if (dot >= 0)
    {
        const QString table = name.left(dot);
        const QString column = name.mid(dot + 1);
        const PGresult* description = m_prepared->description.get();
        for (int i = 0; i < count; ++i)
        {
            if (ColumnName(i).compare(column, Qt::CaseInsensitive) == 0 &&
                m_connection.TableName(PQftable(description, i)).compare(table, Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    for (int i = 0; i < count; ++i)
        if (ColumnName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

CDbValue::Type CPgStatement::ColumnType(int ordinal) const
{
    switch (PQftype(m_prepared->description.get(), ordinal))
    {
    case kBoolOid:
    case kInt2Oid: // Yes/No columns are small integers holding 0 or 1
        return CDbValue::Type::Bool;
    case kInt4Oid:
    case kInt8Oid:
        return CDbValue::Type::Long;
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
        return CDbValue::Type::Double;
    case kTimestampOid:
        return CDbValue::Type::DateTime;
    default:
        return PQftable(m_prepared->description.get(), ordinal) == InvalidOid ? CDbValue::Type::Null
                                                                              : CDbValue::Type::Text;
    }
}

CDbValue CPgStatement::Value(int ordinal) const
{
    if (!m_result || m_row < 0 || m_row >= PQntuples(m_result.get()) || ordinal < 0 ||
        ordinal >= ColumnCount())
        throw CDbException(DbErrors::kNoCurrentRecord, QStringLiteral("No current record."));
    const PGresult* result = m_result.get();
    if (PQgetisnull(result, m_row, ordinal))
        return CDbValue();
    const char* text = PQgetvalue(result, m_row, ordinal);
    const int length = PQgetlength(result, m_row, ordinal);
    switch (PQftype(result, ordinal))
    {
    case kBoolOid:
        return CDbValue(text[0] == 't');
    case kInt2Oid:
        return CDbValue(std::atoi(text) != 0);
    case kInt4Oid:
    case kInt8Oid:
    {
        const qint64 value = QByteArray(text, length).toLongLong();
        if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
            return CDbValue(static_cast<double>(value));
        return CDbValue(static_cast<qint32>(value));
    }
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
        return CDbValue(QByteArray(text, length).toDouble());
    case kTimestampOid:
        return CDbValue(CDbValue::DateTimeFromText(QString::fromUtf8(text, length)));
    default:
        return CDbValue(QString::fromUtf8(text, length));
    }
}

#else

namespace
{
[[noreturn]] void NoServerSupport()
{
    throw CDbException(
        DbErrors::kCannotOpen,
        QStringLiteral("This build of the program cannot open catalogues on a PostgreSQL server."));
}
} // namespace

bool CPgConnection::Available()
{
    return false;
}
CPgConnection::CPgConnection(const QString&)
{
    NoServerSupport();
}
CPgConnection::~CPgConnection() = default;
void CPgConnection::ExecuteScript(const QString&)
{
    NoServerSupport();
}
std::unique_ptr<CPgStatement> CPgConnection::Prepare(const QString&)
{
    NoServerSupport();
}
void CPgConnection::CopyRows(const QString&, const QStringList&, const std::vector<CDbValue>&)
{
    NoServerSupport();
}
bool CPgConnection::InTransaction() const
{
    return false;
}
int CPgConnection::PreparedCount() const
{
    return 0;
}
void CPgConnection::SetUserName(const QString&) {}
void CPgConnection::SetLockTimeout(int) {}
QStringList CPgConnection::MissingFunctions()
{
    return QStringList();
}
QString CPgConnection::TableName(unsigned int)
{
    return QString();
}
CPgStatement::CPgStatement(CPgConnection& connection, QString engineSql)
    : m_connection(connection), m_engineSql(std::move(engineSql))
{
    NoServerSupport();
}
void CPgStatement::Bind(int, const CDbValue&) {}
int CPgStatement::ParameterIndex(const QString&) const
{
    return 0;
}
int CPgStatement::ParameterCount() const
{
    return 0;
}
bool CPgStatement::Step()
{
    return false;
}
int CPgStatement::Execute()
{
    return 0;
}
void CPgStatement::Reset() {}
int CPgStatement::ColumnCount() const
{
    return 0;
}
QString CPgStatement::ColumnName(int) const
{
    return QString();
}
int CPgStatement::ColumnIndex(const QString&) const
{
    return -1;
}
CDbValue::Type CPgStatement::ColumnType(int) const
{
    return CDbValue::Type::Null;
}
CDbValue CPgStatement::Value(int) const
{
    NoServerSupport();
}

#endif
