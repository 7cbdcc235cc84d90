#pragma once

#include "cli/CliOptions.h"
#include "database/DbValue.h"

#include <QList>
#include <QStringList>

class CDbStatement;
class QTextStream;

// Rows as quarrane-cli prints them: for people and for scripts alike.
//   tsv   a header line, then one line per row, tab-separated; a tab, line break or backslash in
//         a value is written \t, \n or \\ so that every row stays one line
//   csv   RFC 4180: a header line, fields quoted when they hold a comma, quote or line break
//   json  an array of objects, one per row, keys in column order; numbers, true/false and null
//         as such, dates as "yyyy-MM-ddTHH:mm:ss"
class CCliTableWriter final
{
public:
    CCliTableWriter(QTextStream& out, ECliFormat format, QStringList columns);
    ~CCliTableWriter();
    CCliTableWriter(const CCliTableWriter&) = delete;
    CCliTableWriter& operator=(const CCliTableWriter&) = delete;

    void Row(const QList<CDbValue>& values);
    // Ends the output (the JSON array); also done by the destructor.
    void Finish();
    int RowCount() const { return m_nRows; }

private:
    QTextStream& m_out;
    ECliFormat m_format;
    QStringList m_columns;
    int m_nRows = 0;
    bool m_bFinished = false;
};

// One printed column of a query's result.
struct CCliColumn
{
    enum class EKind
    {
        Plain,
        Folder, // a catalogue folder: "\" separators shown as "/"
        Size    // bytes, from FileSizeDouble or from FileSize and FileSizeHigh
    };
    QString name;
    EKind kind = EKind::Plain;
    int source = -1;
    int sourceHigh = -1; // FileSizeHigh when the size is made of two columns
};

// The columns printed for a result with these column names: by default the ones a person looks
// at (Catalogue, Folder, File, Size, TTH, Checked) that the result has, or every column when it
// has none of them; with all, every column once (a name repeated by a join is printed once).
QList<CCliColumn> ChooseCliColumns(const QStringList& resultColumns, bool all);
QList<CDbValue> PickCliRow(const CDbStatement& row, const QList<CCliColumn>& columns);

// A folder as stored ("Music\Rock") as a person on this system writes it ("Music/Rock").
QString CliFolderText(const QString& stored);
// Prints every row of a statement through the chosen columns; the number of rows printed.
int PrintCliRows(QTextStream& out, ECliFormat format, CDbStatement& rows, bool allColumns);
