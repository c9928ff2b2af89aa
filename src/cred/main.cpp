// Process entry of kolvadex-cred: hands the arguments and the standard streams
// to the tool and ends with the status it decides.
#include <iostream>
#include <string_view>
#include <vector>

#include "cred/cred_tool.h"
#include "platform/terminal.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> args(argv, argv + argc);
  const int status = kolvadex::RunCredTool(args, std::cin, std::cout, std::cerr,
                                           kolvadex::platform::StandardInputIsTerminal());
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "kolvadex-cred: die Ausgabe kann nicht geschrieben werden\n";
    return kolvadex::kCredExitFailed;
  }
  return status;
}
