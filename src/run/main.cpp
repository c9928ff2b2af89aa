// Process entry of kolvadex: hands the arguments and standard output to the
// driver and ends with the status it decides.
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "platform/standard_streams.h"
#include "run/driver.h"
#include "run/exit_status.h"

int main(int argc, char** argv) {
  kolvadex::platform::EnsureStandardStreams();
  std::ios::sync_with_stdio(false);
  int status = kolvadex::kExitStatementFailed;
  try {
    const std::vector<std::string_view> args(argv, argv + argc);
    status = kolvadex::RunTool(args, std::cout);
  } catch (const std::exception& error) {
    // Out of memory, most likely. Nothing was committed: the session rolled
    // back when it went away.
    std::cout << "Interner Fehler: " << error.what() << "\n";
  }
  std::cout.flush();
  return status;
}
