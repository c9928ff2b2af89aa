// Outcomes of OCI calls as session statuses: the one place they are translated.
//
// An Oracle error ORA-n becomes the status -n (as the precompiler runtime's
// sqlcode); a success with information is a success, and "no data" is
// kStatusNoRowsProcessed, as the runtime's +1403. A call that fails without
// an Oracle error number (an invalid handle, an unexpected return code) gets
// kStatusClientFailure, which no Oracle error uses.
#ifndef KOLVADEX_DB_ORACLE_ERRORS_H_
#define KOLVADEX_DB_ORACLE_ERRORS_H_

#include <string>

#include "db/oracle/oci_api.h"

namespace kolvadex::db::oracle {

inline constexpr int kStatusClientFailure = -100001;
// ORA-03114: the session is not connected.
inline constexpr int kStatusNotConnected = -3114;

// The status of a call that returned `result`. On failure `message` gets the
// error text on one line, read with OCIErrorGet from `handle` (an error handle,
// or the environment handle for OCIEnvCreate, as `handle_type` says); on
// success `message` is left alone.
int StatusFromCall(const oci::Api& api, oci::sword result, void* handle, oci::ub4 handle_type,
                   std::string& message);

// `text` with line ends turned into blanks and trailing blanks removed.
std::string OneLine(std::string text);

}  // namespace kolvadex::db::oracle

#endif  // KOLVADEX_DB_ORACLE_ERRORS_H_
