// Process entry of kolvadex: hands the arguments and standard output to the
// driver and ends with the status it decides.
#include <exception>
#include <string_view>
#include <vector>

#include "common/console_out.h"
#include "platform/standard_streams.h"
#include "run/driver.h"
#include "run/exit_status.h"

int main(int argc, char** argv) {
  kolvadex::platform::EnsureStandardStreams();
  kolvadex::ConsoleOut out = kolvadex::StandardOutput();
  int status = kolvadex::kExitStatementFailed;
  try {
    const std::vector<std::string_view> args(argv, argv + argc);
    status = kolvadex::RunTool(args, out);
  } catch (const std::exception& error) {
    // Out of memory, most likely. Nothing was committed: the session rolled
    // back when it went away.
    out << "Interner Fehler: " << error.what() << "\n";
  }
  kolvadex::FlushStandardOutput();
  return status;
}
