#pragma once

#include "database/JetSqlLexer.h"

class CJetSchema;

namespace JetSqlDetail
{
// UPDATE <join tree> SET ... [WHERE ...] as SQLite statements; empty when the UPDATE names one
// table only and needs no rewriting. counts receives, per statement, whether its changes count
// in the rows the UPDATE changed. Throws CDbException 3073 when SET names more than one table or
// one that cannot be updated, 3075 for a join tree that cannot be read.
std::vector<std::vector<Token>> RewriteJoinUpdate(const std::vector<Token>& t, const QString& jetSql,
                                                  const CJetSchema& schema, std::vector<bool>& counts);
} // namespace JetSqlDetail
