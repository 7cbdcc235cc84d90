#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// One condition of the Find dialog: a searchable field, an operator and a value whose form
// depends on the field's type. Each condition turns itself into a fragment of Jet SQL; the dialog
// ANDs the fragments. Every value the person typed reaches the SQL as a number that was checked
// or as a text literal made by CJetSql::QuoteText, never pasted raw.

// The types of the Field table that the dialog knows.
enum EQueryFieldType : int
{
    kFieldInteger = 1,
    kFieldText = 2,
    kFieldYesNo = 3,
    kFieldList = 4,
    kFieldMemo = 5,
    kFieldSize = 6,
    kFieldDate = 7,
};

// A row of the Field table that can be searched.
struct SSearchField
{
    QString strField;      // the caption the person chooses
    QString strTableField; // the column in SQL, such as File.File
    int nType = 0;

    bool operator==(const SSearchField&) const = default;
};

// The caption that searches file name, folder and alternate file name at once.
inline const QString kFileNameFolderAlternateFile = QStringLiteral("FileName/Folder/AlternateFile");

struct SQueryFieldParam
{
    SSearchField field;
    QString strOperator;
    // The number, or the text whose lines are the terms, or the count of "In the Last".
    QString strValue;
    // "Bytes", "KB", "MB", "GB" for sizes; "Minutes" ... "Years" for the date counts.
    QString strUnit;
    QDateTime dtFrom;
    QDateTime dtTo;

    bool operator==(const SQueryFieldParam&) const = default;
};

// What a condition gives: a fragment (empty when it adds nothing) or the reason its value cannot
// be used.
struct SConditionFragment
{
    QString strFragment;
    QString strError;
    bool IsValid() const { return strError.isEmpty(); }
};

// The operators offered for a type, and the one chosen first.
QStringList QueryFieldOperators(int type);
QString DefaultQueryFieldOperator(int type);
QStringList SizeUnits();
QString DefaultSizeUnit();
QStringList TimeUnits();
QString DefaultTimeUnit();
// Whether the operator takes a count and a unit rather than dates.
bool IsRelativeDateOperator(const QString& op);

// The fragment of one condition; now is the moment "In the Last" counts back from.
SConditionFragment QueryFieldCondition(const SQueryFieldParam& param, const QDateTime& now);

// The fragments of every condition that gives one, joined by " AND "; the first unusable value
// makes the whole result unusable.
SConditionFragment CombinedCondition(const std::vector<SQueryFieldParam>& params, const QDateTime& now);

// The start of "In the Last" (beginning false) or "Beginning of the Last" (true) count units
// before now. Months count back over the calendar months before the current one.
QDateTime RelativeDateStart(const QDateTime& now, int count, const QString& unit, bool beginning);

// A date as a Jet literal, #mm/dd/yyyy hh:mm:ss#.
QString JetDateLiteral(const QDateTime& moment);
