#include "statement/substitution.h"

#include <algorithm>

#include "run/command_line.h"

namespace kolvadex::statement {

std::string Placeholder(int k) {
  std::string digits = std::to_string(k);
  if (digits.size() < 2) digits.insert(0, 1, '0');
  return "$parm" + digits;
}

void ReplaceParameters(std::string& statement, const ParameterList& parameters) {
  const std::size_t count = std::min(parameters.size(), kMaxParameters);
  for (std::size_t k = 1; k <= count; ++k) {
    const std::string placeholder = Placeholder(static_cast<int>(k));
    const std::size_t at = statement.find(placeholder);
    if (at != std::string::npos) statement.replace(at, placeholder.size(), parameters[k - 1]);
  }
}

}  // namespace kolvadex::statement
