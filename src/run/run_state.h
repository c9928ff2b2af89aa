// The state of one run: what the command line, the credential file and the
// statement file gave, passed from stage to stage by the driver.
#ifndef KOLVADEX_RUN_RUN_STATE_H_
#define KOLVADEX_RUN_RUN_STATE_H_

#include <string>
#include <vector>

#include "common/secret.h"

namespace kolvadex {

// The positional parameters in command-line order; item 0 is parameter 1.
using ParameterList = std::vector<std::string>;

struct RunState {
  std::string section_name;     // argument 1: section of the statement file
  std::string credential_file;  // argument 2
  bool trace = false;           // "/D" or "/d"
  ParameterList parameters;     // arguments 3 and later, the trace switch left out

  std::string database_name;  // credential key NET8: the service
  std::string user_name;      // LOGIN
  Secret password;            // PASS
  std::string database_system;  // DB_SYSTEM: chooses the backend and the statement file

  std::string statement_text;
  int status = 0;  // result of the latest stage
};

// The application schema every session switches to.
inline constexpr const char* kApplicationSchema = "RARAZOVE";

}  // namespace kolvadex

#endif  // KOLVADEX_RUN_RUN_STATE_H_
