#pragma once

#include "database/JetSqlLexer.h"

namespace JetSqlDetail
{
// Every FROM clause (and an UPDATE's tables) with each "A RIGHT JOIN B ON c" turned into "B LEFT
// JOIN A ON c", in subqueries too; a clause under a bare "SELECT *", whose column order follows
// the tables, or one this does not read stays as written.
std::vector<Token> RewriteRightJoins(const std::vector<Token>& t);
} // namespace JetSqlDetail
