// The service (credential key NET8) as the trace shows it.
//
// A PostgreSQL service may carry a password: in the user part of a
// postgresql:// or postgres:// URI ("user:password@"), as the URI parameter
// "password", or as the entry "password=..." of a key=value string. The trace
// shows every such password as "********"; any other service (a database name,
// a file path, an Oracle service name) is shown as it is. A key=value string
// that cannot be read to its end is masked from the word "password" on.
#ifndef KOLVADEX_DB_SERVICE_DISPLAY_H_
#define KOLVADEX_DB_SERVICE_DISPLAY_H_

#include <string>
#include <string_view>

namespace kolvadex::db {

std::string ServiceForDisplay(std::string_view service);

}  // namespace kolvadex::db

#endif  // KOLVADEX_DB_SERVICE_DISPLAY_H_
