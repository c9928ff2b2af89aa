// kolvadex-cred: makes, checks and changes credential files for kolvadex.
//
// Commands (the first argument after the program path):
//   encrypt           one value from `in` -> its hex cipher text on `out`
//   decrypt           one hex cipher text from `in` -> the value on `out`
//   write FILE        four values from `in` (NET8, LOGIN, PASS, DB_SYSTEM, one a
//                     line) -> a complete credential file; an existing FILE is
//                     kept unless --force is given
//   set FILE KEY      one value from `in` -> replaces KEY's value in FILE, every
//                     other byte kept
//   show FILE         the records and which record answers each key; the
//                     password as ******** unless --reveal is given
//   check FILE        one line per problem kolvadex would run into
// and --help, --version. Values never come from the command line. When
// `interactive` is set, `in` is the terminal on standard input: the tool then
// prompts on `err` and reads secret values without echo, asking twice for a
// value it stores.
//
// Result: the exit status. 0: done (check: no problem); 1: the command failed
// or check found problems, with a line on `err` (check: on `out`) saying why;
// 2: the command line is wrong. Files are changed only as a whole and only on
// success.
#ifndef KOLVADEX_CRED_CRED_TOOL_H_
#define KOLVADEX_CRED_CRED_TOOL_H_

#include <istream>
#include <ostream>
#include <span>
#include <string_view>

namespace kolvadex {

inline constexpr int kCredExitOk = 0;
inline constexpr int kCredExitFailed = 1;
inline constexpr int kCredExitUsage = 2;

// `args[0]` is the program path, the arguments follow.
int RunCredTool(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                std::ostream& err, bool interactive);

}  // namespace kolvadex

#endif  // KOLVADEX_CRED_CRED_TOOL_H_
