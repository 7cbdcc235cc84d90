#pragma once

#include <QString>
#include <QStringList>

// What the file problems dialog shows: a header, a question, the rows (file, problem, solution)
// and a style word. The style's icon bits: 0x10 error, 0x08 warning, 0x04 information (the
// first that is set wins); low two bits equal to 2 make it an OK-only report, which always
// answers "stop".
struct CFileProblems
{
    static constexpr unsigned kErrorIcon = 0x10;
    static constexpr unsigned kWarningIcon = 0x08;
    static constexpr unsigned kInformationIcon = 0x04;
    static constexpr unsigned kOkOnly = 0x02;

    // The answers: go on (Yes) or stop (No, or OK of a report).
    static constexpr int kGoOn = 1;
    static constexpr int kStop = 2;

    QString strHeader;
    QString strQuestion;
    unsigned nStyle = 0;
    // Three strings a row: file, problem, solution.
    QStringList rows;

    void AddRow(const QString& file, const QString& problem, const QString& solution)
    {
        rows << file << problem << solution;
    }
    int RowCount() const { return static_cast<int>(rows.size() / 3); }
    bool IsOkOnly() const { return (nStyle & 0x3) == kOkOnly; }
};

// Shows the file problems to the person and returns kGoOn or kStop. Called from the thread of
// the operation, which waits for the answer; an OK-only report always gives kStop.
class CFileProblemsPrompt
{
public:
    CFileProblemsPrompt() = default;
    CFileProblemsPrompt(const CFileProblemsPrompt&) = delete;
    CFileProblemsPrompt& operator=(const CFileProblemsPrompt&) = delete;
    virtual ~CFileProblemsPrompt() = default;

    virtual int Ask(const CFileProblems& problems) = 0;
};
