// Process entry of kolvadex: hands the arguments and standard output to the
// driver and ends with the status it decides.
#include <iostream>
#include <string_view>
#include <vector>

#include "run/driver.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> args(argv, argv + argc);
  const int status = kolvadex::RunTool(args, std::cout);
  std::cout.flush();
  return status;
}
