// Running a program as a child process in tests: arguments, working folder,
// standard input; standard output and standard error captured.
#ifndef KOLVADEX_TESTS_SUPPORT_PROCESS_H_
#define KOLVADEX_TESTS_SUPPORT_PROCESS_H_

#include <string>
#include <vector>

namespace kolvadex::testing {

struct ProcessResult {
  int exit_status = -1;  // the exit status, or 128 + signal number
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::string working_dir;        // empty: the test's own
  std::string input;              // written to standard input, then closed
  std::vector<std::string> env;   // "NAME=value" entries added to the environment
};

// Runs `args[0]` with `args` and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& args, const ProcessOptions& options = {});

}  // namespace kolvadex::testing

#endif  // KOLVADEX_TESTS_SUPPORT_PROCESS_H_
