#include "db/postgresql/client_library.h"

#include <cstring>

namespace kolvadex::db::postgresql {
namespace {

// Stores the address of `name` in `into`; names the function in `missing` when
// the library does not export it.
template <typename Function>
bool Resolve(const platform::DynamicLibrary& library, const char* name, Function& into,
             std::string& missing) {
  void* const address = library.Symbol(name);
  if (address == nullptr) {
    missing = name;
    return false;
  }
  // A data pointer from the loader becomes a function pointer: POSIX requires
  // the two to have the same representation.
  static_assert(sizeof into == sizeof address);
  std::memcpy(&into, &address, sizeof into);
  return true;
}

}  // namespace

std::unique_ptr<Libpq> Libpq::Load(const std::string& name, std::string& error) {
  std::unique_ptr<Libpq> libpq(new Libpq());
  if (!libpq->library_.Open(name, error)) return nullptr;
  LibpqFunctions& f = libpq->functions_;
  const platform::DynamicLibrary& lib = libpq->library_;
  std::string missing;
  const bool complete = Resolve(lib, "PQconnectdbParams", f.connectdb_params, missing) &&
                        Resolve(lib, "PQconninfoParse", f.conninfo_parse, missing) &&
                        Resolve(lib, "PQconninfoFree", f.conninfo_free, missing) &&
                        Resolve(lib, "PQfreemem", f.freemem, missing) &&
                        Resolve(lib, "PQfinish", f.finish, missing) &&
                        Resolve(lib, "PQstatus", f.status, missing) &&
                        Resolve(lib, "PQerrorMessage", f.error_message, missing) &&
                        Resolve(lib, "PQtransactionStatus", f.transaction_status, missing) &&
                        Resolve(lib, "PQsetNoticeProcessor", f.set_notice_processor, missing) &&
                        Resolve(lib, "PQexec", f.exec, missing) &&
                        Resolve(lib, "PQexecParams", f.exec_params, missing) &&
                        Resolve(lib, "PQresultStatus", f.result_status, missing) &&
                        Resolve(lib, "PQresultErrorField", f.result_error_field, missing) &&
                        Resolve(lib, "PQresultErrorMessage", f.result_error_message, missing) &&
                        Resolve(lib, "PQclear", f.clear, missing) &&
                        Resolve(lib, "PQcmdStatus", f.cmd_status, missing) &&
                        Resolve(lib, "PQcmdTuples", f.cmd_tuples, missing) &&
                        Resolve(lib, "PQntuples", f.ntuples, missing);
  if (!complete) {
    error = "die Funktion " + missing + " fehlt";
    return nullptr;
  }
  return libpq;
}

}  // namespace kolvadex::db::postgresql
