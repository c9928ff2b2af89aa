// Fuzz target: the command line.
//
// The input is the argument vector, the arguments separated by zero bytes
// (the first is the program path). CheckArguments must return 1 exactly when
// there are fewer than three arguments or more than 99 parameters; otherwise
// section name, credential file, parameters and trace switch must agree with a
// reference model ("/D" and "/d" from the third argument on set the switch,
// every other argument is the next parameter), and the output must be one
// " Parm = '...'" line per parameter with the switch and nothing without it.
// A state left over from an earlier command line must not leak into the next.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "run/command_line.h"
#include "run/run_state.h"

namespace {

using kolvadex::CheckArguments;
using kolvadex::ParameterList;
using kolvadex::RunState;

constexpr std::size_t kMaxArguments = 300;

std::string UsageText() {
  std::ostringstream out;
  kolvadex::PrintHeader(out);
  out << "Falsche Anzahl Parameter\n\n";
  kolvadex::PrintUsage(out);
  return out.str();
}

void Check(const std::vector<std::string_view>& args, RunState& state) {
  std::ostringstream out;
  const int result = CheckArguments(args, state, out);
  const std::string printed = out.str();

  if (args.size() < 4) {
    FUZZ_CHECK(result == 1);
    FUZZ_CHECK(printed == UsageText());
    return;
  }
  bool trace = false;
  ParameterList parameters;
  for (std::size_t i = 3; i < args.size(); ++i) {
    if (args[i] == "/D" || args[i] == "/d") {
      trace = true;
    } else {
      parameters.emplace_back(args[i]);
    }
  }
  FUZZ_CHECK(state.section_name == args[1]);
  FUZZ_CHECK(state.credential_file == args[2]);
  FUZZ_CHECK(state.trace == trace);
  FUZZ_CHECK(state.parameters == parameters);
  if (parameters.size() > 99) {
    FUZZ_CHECK(result == 1);
    // One line saying so, and no parameter lines.
    FUZZ_CHECK(!printed.empty() && printed.find('\n') == printed.size() - 1);
    FUZZ_CHECK(printed.find("99") != std::string::npos);
    return;
  }
  FUZZ_CHECK(result == 0);
  std::string expected;
  if (trace) {
    for (const std::string& parameter : parameters) expected += " Parm = '" + parameter + "'\n";
  }
  FUZZ_CHECK(printed == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string_view> args =
      kolvadex::fuzz::Split(kolvadex::fuzz::AsText(data, size), '\0');
  if (args.size() > kMaxArguments) args.resize(kMaxArguments);

  RunState state;
  Check(args, state);

  // The same state again, after a command line with the trace switch and
  // parameters of its own.
  RunState reused;
  const std::vector<std::string_view> earlier{"kolvadex", "OLD", "old.ini", "x", "/D", "y"};
  std::ostringstream ignored;
  CheckArguments(earlier, reused, ignored);
  if (args.size() >= 4) Check(args, reused);
  return 0;
}
