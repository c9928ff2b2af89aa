// The driver: one run of the tool, from the command line to the exit status.
//
// Stages, in this fixed order: command line; the four credential lookups
// (NET8, LOGIN, PASS, DB_SYSTEM); connect and switch to the application
// schema; read the statement; substitute the parameters; execute; commit.
// Every console line goes to `out`; a successful run without the trace switch
// prints nothing. The result is the process exit status (run/exit_status.h).
#ifndef KOLVADEX_RUN_DRIVER_H_
#define KOLVADEX_RUN_DRIVER_H_

#include <span>
#include <string_view>

#include "common/console_out.h"

namespace kolvadex {

// `args[0]` is the program path, the arguments follow.
int RunTool(std::span<const std::string_view> args, ConsoleOut out);

}  // namespace kolvadex

#endif  // KOLVADEX_RUN_DRIVER_H_
