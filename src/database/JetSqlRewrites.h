#pragma once

#include "database/JetSqlLexer.h"

// The rewrites of Jet's expression dialect that need no database: the roles of bare words, "&",
// the targets of SET and the numbering of "?". Internal to the translator.
namespace JetSqlDetail
{
// Gives every bare word its role: keyword (upper case), function or quoted name. TRUE and FALSE
// become 1 and 0, Mod becomes "%", DISTINCTROW goes, the list of DELETE * / DELETE t.* goes, Len,
// UCase and LCase become SQLite's length, upper and lower.
std::vector<Token> Classify(const std::vector<Token>& in);
// A statement's trailing ";" are Jet's, not SQLite's.
void DropTrailingSemicolons(std::vector<Token>& tokens);
// SQLite takes bare column names as the targets of SET; Jet allows them qualified.
void StripSetQualifiers(std::vector<Token>& tokens);
// a & b & c becomes jet_concat(a, b, c): SQLite's "&" is a bitwise and, and its "||" gives Null
// for a Null operand where Jet's "&" treats it as empty text.
void RewriteConcat(std::vector<Token>& tokens, const QString& jetSql);
// Gives plain "?" numbers in the order they are written and returns the highest number of any
// "?" parameter.
int NumberPositionalParameters(std::vector<Token>& tokens);
} // namespace JetSqlDetail
