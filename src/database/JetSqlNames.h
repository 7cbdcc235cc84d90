#pragma once

#include "database/JetSqlLexer.h"

#include <QHash>
#include <QStringList>

class CJetSchema;

namespace JetSqlDetail
{
// Translates one level of text: its parameters become Param tokens and the stored queries it
// uses as tables become subqueries, translated the same way.
class CLevelTranslator
{
public:
    explicit CLevelTranslator(const CJetSchema& schema) : m_schema(schema) {}

    // The tokens of one text, classified, with Param tokens for its parameters and subqueries for
    // the stored queries it reads. Throws CDbException 3075 for text that cannot be read, 3078 for
    // a stored query that reads itself.
    std::vector<Token> Translate(const QString& jetSql);

    // Every parameter met so far, in the order met (a text's declarations before its body), by the
    // name it was first written with; m_types[i] is the declared type of m_parameters[i] or empty.
    QStringList m_parameters;
    QStringList m_types;

private:
    static bool IsAliasDefinition(const std::vector<Token>& tokens, size_t i);
    QString AddParameter(const QString& name, const QString& type, bool declared);

    const CJetSchema& m_schema;
    QHash<QString, qsizetype> m_declared;
    QStringList m_stack;
};
} // namespace JetSqlDetail
