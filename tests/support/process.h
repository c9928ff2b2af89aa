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
  std::string working_dir;       // empty: the test's own
  std::string input;             // written to standard input, then closed
  std::vector<std::string> env;  // "NAME=value" entries added to the environment
  // Where standard output goes: empty captures it into ProcessResult::out;
  // kClosedOutput starts the child with standard output closed; any other text
  // is a file to write to (for example /dev/full).
  std::string output_path;
  // When the test runs as root, the child runs as the unprivileged user nobody,
  // so that file permissions apply to it.
  bool unprivileged = false;
  // Sends SIGKILL to the child after this many milliseconds (negative: never).
  int kill_after_ms = -1;
  // Whether the words of the environment variable KOLVADEX_TEST_WRAPPER (for
  // example a valgrind command line) go before args[0].
  bool allow_wrapper = true;
};

inline constexpr const char* kClosedOutput = "<closed>";

// Runs `args[0]` with `args` and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& args, const ProcessOptions& options = {});

}  // namespace kolvadex::testing

#endif  // KOLVADEX_TESTS_SUPPORT_PROCESS_H_
