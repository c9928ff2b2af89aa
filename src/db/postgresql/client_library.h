// The part of libpq the PostgreSQL backend uses, taken from the library loaded
// at run time.
//
// The tool is not linked against libpq: SQLite and Oracle runs must not pay for
// loading it and its dependencies. libpq-fe.h is used for its types only; every
// function is reached through a pointer of the exact type the header declares.
//
// Libpq::Load opens the library and resolves every function. On success the
// object owns the open library and must outlive every connection and result
// made through it. On failure it returns nullptr and gives the reason on one
// line (the loader's text, or the name of a missing function).
#ifndef KOLVADEX_DB_POSTGRESQL_CLIENT_LIBRARY_H_
#define KOLVADEX_DB_POSTGRESQL_CLIENT_LIBRARY_H_

#include <libpq-fe.h>

#include <memory>
#include <string>

#include "platform/dynamic_library.h"

namespace kolvadex::db::postgresql {

// The soname of the libpq this backend is written for.
inline constexpr const char* kLibpqName = "libpq.so.5";

struct LibpqFunctions {
  decltype(&PQconnectdbParams) connectdb_params = nullptr;
  decltype(&PQconninfoParse) conninfo_parse = nullptr;
  decltype(&PQconninfoFree) conninfo_free = nullptr;
  decltype(&PQfreemem) freemem = nullptr;
  decltype(&PQfinish) finish = nullptr;
  decltype(&PQstatus) status = nullptr;
  decltype(&PQerrorMessage) error_message = nullptr;
  decltype(&PQtransactionStatus) transaction_status = nullptr;
  decltype(&PQsetNoticeProcessor) set_notice_processor = nullptr;
  decltype(&PQexec) exec = nullptr;
  decltype(&PQexecParams) exec_params = nullptr;
  decltype(&PQresultStatus) result_status = nullptr;
  decltype(&PQresultErrorField) result_error_field = nullptr;
  decltype(&PQresultErrorMessage) result_error_message = nullptr;
  decltype(&PQclear) clear = nullptr;
  decltype(&PQcmdStatus) cmd_status = nullptr;
  decltype(&PQcmdTuples) cmd_tuples = nullptr;
  decltype(&PQntuples) ntuples = nullptr;
};

class Libpq {
 public:
  static std::unique_ptr<Libpq> Load(const std::string& name, std::string& error);

  [[nodiscard]] const LibpqFunctions& fn() const { return functions_; }

 private:
  Libpq() = default;

  platform::DynamicLibrary library_;
  LibpqFunctions functions_;
};

}  // namespace kolvadex::db::postgresql

#endif  // KOLVADEX_DB_POSTGRESQL_CLIENT_LIBRARY_H_
