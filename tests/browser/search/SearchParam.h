#pragma once

#include "browser/search/QueryFieldCondition.h"

// A condition row of the Find dialog, as the tests of searching write them.
inline SQueryFieldParam Param(const SSearchField& field, const QString& op, const QString& value,
                              const QString& unit = {})
{
    SQueryFieldParam param;
    param.field = field;
    param.strOperator = op;
    param.strValue = value;
    param.strUnit = unit;
    return param;
}
