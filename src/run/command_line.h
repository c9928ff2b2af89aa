// Command line: section name, credential file, positional parameters and the
// trace switch, plus the tool's two fixed console texts (header box, usage).
//
//   kolvadex SECTION CREDENTIAL-FILE PARAMETER... [/D]
//
// "/D" or "/d" anywhere from the third argument on sets the trace switch and
// takes no number; every other argument from the third on is a parameter,
// numbered 1, 2, ... in its order. An empty argument is an empty parameter.
#ifndef KOLVADEX_RUN_COMMAND_LINE_H_
#define KOLVADEX_RUN_COMMAND_LINE_H_

#include <span>
#include <string_view>

#include "common/console_out.h"
#include "run/run_state.h"

namespace kolvadex {

// Placeholders have two digits, so no more parameters can be used.
inline constexpr std::size_t kMaxParameters = 99;

// Checks the arguments (args[0] is the program path) and fills the command-line
// fields of `state`; with the trace switch set, prints one line per parameter.
// Returns 0 on success. With fewer than three arguments it prints the header,
// "Falsche Anzahl Parameter", an empty line and the usage text; with more than
// 99 parameters one line saying so; both return 1.
int CheckArguments(std::span<const std::string_view> args, RunState& state, ConsoleOut out);

// Separates the trace switch from the parameters of args[3...].
void ReadOptions(std::span<const std::string_view> args, RunState& state);

void PrintHeader(ConsoleOut out);
void PrintUsage(ConsoleOut out);

}  // namespace kolvadex

#endif  // KOLVADEX_RUN_COMMAND_LINE_H_
