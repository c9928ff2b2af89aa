// Parameter substitution: the placeholders $parm01 ... $parm99 of a statement
// take the positional parameters 1 ... 99.
//
// For k = 1 up to the number of parameters, in order, the first occurrence of
// "$parm" + k in two digits is replaced by parameter k, verbatim (no quoting:
// the statement file decides whether a placeholder stands inside quotes).
// Each step works on the text as the earlier steps left it, so a parameter
// holding a later placeholder is itself substituted. A second occurrence of a
// placeholder and placeholders without a parameter stay as they are.
#ifndef KOLVADEX_STATEMENT_SUBSTITUTION_H_
#define KOLVADEX_STATEMENT_SUBSTITUTION_H_

#include <string>

#include "run/run_state.h"

namespace kolvadex::statement {

// The placeholder of parameter k (1 <= k <= 99).
std::string Placeholder(int k);

void ReplaceParameters(std::string& statement, const ParameterList& parameters);

}  // namespace kolvadex::statement

#endif  // KOLVADEX_STATEMENT_SUBSTITUTION_H_
