// Definition texts normalized for comparison with the gold standard.
#pragma once

#include <QString>

namespace quillon {

// The form in which two definitions are compared: brackets dropped, line breaks and tabs
// blanked, comparison operators set apart, upper case, lengths out of their parentheses,
// "dbo." after white space dropped, white space collapsed and trimmed.
QString NormalizeDefinition(const QString& ADefinition);

// Two definitions are the same when their normalized forms are both empty or equal ignoring
// letter case.
bool SameNormalizedDefinition(const QString& ADefinition1, const QString& ADefinition2);

}  // namespace quillon
