#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What quarrane-cli was asked to do, read from its arguments.
enum class ECliFormat
{
    Tsv,
    Csv,
    Json
};

struct CCliOptions
{
    QString command;
    QString database;      // as given; the commands make it absolute
    QStringList arguments; // what follows the database
    QString name;
    QString location;
    std::optional<qint32> group;
    QString user;
    QString tth;
    QString magnet;
    ECliFormat format = ECliFormat::Tsv;
    bool formatGiven = false;
    QString query;                 // export --query
    QString catalogue;             // export --catalogue
    std::optional<QString> folder; // export --folder
    bool allColumns = false;
    bool updateTTH = false;
    bool deleteDuplicates = false;
    bool noWait = false;
    bool all = false;
    bool none = false;
    bool quiet = false;
    bool allowSameName = false;
    bool createLocation = false;
    bool ghost = false; // delete-checked: ghost rather than delete
    bool yes = false;   // delete-checked: the confirmation's answer
    bool help = false;
    bool version = false;
};

struct CCliParse
{
    CCliOptions options;
    QString problem; // empty when the arguments make sense
};

// Reads the arguments (without the program name). Options may come anywhere; "--" ends them.
CCliParse ParseCliArguments(const QStringList& arguments);

// The commands in the order the usage lists them; the completion script knows the same list.
const QStringList& CliCommandNames();
// Commands that only read the database: they open it read-only.
bool IsReadOnlyCliCommand(const QString& command);

extern const char* const kCliUsageText;
