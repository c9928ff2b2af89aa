// A stand-in for the Oracle client library, for tests on machines without an
// Oracle client or server. Built as libclntsh.so in a folder of its own, it is
// loaded by the real kolvadex binary through the library search path, and
// exports the OCI calls the Oracle session uses, with their documented
// signatures and behaviour (within what the session needs).
//
// A SQLite file stands for the server. The configuration is a file of
// "key=value" lines named by the environment variable KOLVADEX_OCI_STANDIN:
//   service=        the one service (connect identifier) that attaches
//   user=, password= the one account (user name without regard to case)
//   external_user=  when not empty, external authentication logs on as this user
//   schema=         the one schema besides the user's own
//   database=       the SQLite file
//   journal=        the file every call is appended to, one line each
// The journal names each handle (env1, err2, srv3, svc4, ses5, stmt6, ...) and
// records every call with its arguments and result. A password appears in it
// only as its length.
//
// What it imitates: ORA-12154 for an unknown service, ORA-01017 for other
// credentials, ORA-01005 for an empty password, ORA-01435 for a schema that does
// not exist, ORA-00911 for a trailing ";", ORA-24333 for a statement executed
// with no iteration; SQLite's errors as ORA errors (no such table: ORA-00942,
// unique: ORA-00001, ...); row counts and statement types; statements prepared
// locally and parsed by the "server" at execution; row-changing statements run
// in a transaction that commit or rollback ends, and that ending the session
// commits; freeing the environment frees what is left under it.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>

#include "db/oracle/oci_api.h"

namespace {

namespace oci = kolvadex::db::oracle::oci;
using oci::sb4;
using oci::sword;
using oci::ub2;
using oci::ub4;

constexpr ub4 kMagic = 0x4b4f4349;
constexpr ub2 kStmtUnknown = 0;
constexpr ub2 kStmtCreate = 5;
constexpr ub2 kStmtDrop = 6;
constexpr ub2 kStmtAlter = 7;
constexpr ub2 kStmtBegin = 8;
constexpr ub2 kStmtDeclare = 9;
constexpr ub2 kStmtCall = 10;

struct Config {
  std::string service;
  std::string user;
  std::string password;
  std::string external_user;
  std::string schema;
  std::string database;
  std::string journal;
};

struct Env;

struct Handle {
  ub4 magic = kMagic;
  ub4 type = 0;
  std::string name;
  Env* env = nullptr;
  // The latest error reported through this handle.
  sb4 error_code = 0;
  std::string error_text;
  virtual ~Handle() = default;
};

struct Env : Handle {
  Config config;
  std::FILE* journal = nullptr;
  int next_number = 1;
  std::set<Handle*> children;
};

struct ErrorHandle : Handle {};

struct Server : Handle {
  sqlite3* db = nullptr;
  bool in_transaction = false;
};

struct UserSession : Handle {
  std::string user;
  std::string password;
  bool password_given = false;
  bool begun = false;
  std::string current_schema;
};

struct Service : Handle {
  Server* server = nullptr;
  UserSession* session = nullptr;
};

struct Statement : Handle {
  Service* service = nullptr;
  std::string text;
  ub2 kind = kStmtUnknown;  // OCI_ATTR_STMT_TYPE
  ub4 rows = 0;
};

const char* TypeName(ub4 type) {
  switch (type) {
    case oci::OCI_HTYPE_ENV:
      return "ENV";
    case oci::OCI_HTYPE_ERROR:
      return "ERROR";
    case oci::OCI_HTYPE_SVCCTX:
      return "SVCCTX";
    case oci::OCI_HTYPE_STMT:
      return "STMT";
    case oci::OCI_HTYPE_SERVER:
      return "SERVER";
    case oci::OCI_HTYPE_SESSION:
      return "SESSION";
    default:
      return "?";
  }
}

const char* NamePrefix(ub4 type) {
  switch (type) {
    case oci::OCI_HTYPE_ENV:
      return "env";
    case oci::OCI_HTYPE_ERROR:
      return "err";
    case oci::OCI_HTYPE_SVCCTX:
      return "svc";
    case oci::OCI_HTYPE_STMT:
      return "stmt";
    case oci::OCI_HTYPE_SERVER:
      return "srv";
    case oci::OCI_HTYPE_SESSION:
      return "ses";
    default:
      return "h";
  }
}

// The handle behind `pointer` when it is a live handle of `type` (any type for 0).
template <typename T>
T* As(const void* pointer, ub4 type) {
  if (pointer == nullptr) return nullptr;
  auto* handle = static_cast<Handle*>(const_cast<void*>(pointer));
  if (handle->magic != kMagic || (type != 0 && handle->type != type)) return nullptr;
  return dynamic_cast<T*>(handle);
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

void Journal(Env* env, const std::string& line) {
  if (env == nullptr || env->journal == nullptr) return;
  std::fputs(line.c_str(), env->journal);
  std::fputc('\n', env->journal);
  std::fflush(env->journal);
}

std::string Name(const void* pointer) {
  const auto* handle = As<Handle>(pointer, 0);
  if (handle != nullptr) return handle->name;
  return pointer == nullptr ? "null" : "invalid";
}

// Records `call` with its result; returns the result.
sword Done(Env* env, const std::string& call, sword result, const std::string& extra = "") {
  std::string line = call + " -> ";
  line += result == oci::OCI_SUCCESS             ? "OCI_SUCCESS"
          : result == oci::OCI_SUCCESS_WITH_INFO ? "OCI_SUCCESS_WITH_INFO"
          : result == oci::OCI_INVALID_HANDLE    ? "OCI_INVALID_HANDLE"
                                                 : "OCI_ERROR";
  if (!extra.empty()) line += " " + extra;
  Journal(env, line);
  return result;
}

// Puts ORA-`code` into `error` and records the failed call.
sword Fail(Env* env, Handle* error, const std::string& call, sb4 code, const std::string& text) {
  char number[16];
  std::snprintf(number, sizeof number, "ORA-%05d", static_cast<int>(code));
  if (error != nullptr) {
    error->error_code = code;
    error->error_text = std::string(number) + ": " + text + "\n";
  }
  return Done(env, call, oci::OCI_ERROR, number);
}

bool ReadConfig(Config& config) {
  const char* path = std::getenv("KOLVADEX_OCI_STANDIN");
  if (path == nullptr) return false;
  std::ifstream in(path);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "service") config.service = value;
    if (key == "user") config.user = value;
    if (key == "password") config.password = value;
    if (key == "external_user") config.external_user = value;
    if (key == "schema") config.schema = value;
    if (key == "database") config.database = value;
    if (key == "journal") config.journal = value;
  }
  return true;
}

template <typename T>
T* NewChild(Env* env, ub4 type) {
  auto* handle = new T();
  handle->type = type;
  handle->env = env;
  handle->name = NamePrefix(type) + std::to_string(env->next_number++);
  env->children.insert(handle);
  return handle;
}

void DeleteChild(Handle* handle) {
  if (auto* server = dynamic_cast<Server*>(handle); server != nullptr && server->db != nullptr) {
    sqlite3_close_v2(server->db);
  }
  if (auto* session = dynamic_cast<UserSession*>(handle); session != nullptr) {
    std::fill(session->password.begin(), session->password.end(), '\0');
  }
  handle->env->children.erase(handle);
  handle->magic = 0;
  delete handle;
}

// Skips blanks, comments and opening parentheses before the first word.
std::string FirstWord(std::string_view sql) {
  for (;;) {
    while (!sql.empty() &&
           (std::isspace(static_cast<unsigned char>(sql.front())) || sql.front() == '(')) {
      sql.remove_prefix(1);
    }
    if (sql.starts_with("--")) {
      const std::size_t end = sql.find('\n');
      sql = end == std::string_view::npos ? std::string_view() : sql.substr(end + 1);
    } else if (sql.starts_with("/*")) {
      const std::size_t end = sql.find("*/", 2);
      sql = end == std::string_view::npos ? std::string_view() : sql.substr(end + 2);
    } else {
      break;
    }
  }
  std::size_t length = 0;
  while (length < sql.size() &&
         (std::isalnum(static_cast<unsigned char>(sql[length])) || sql[length] == '_')) {
    ++length;
  }
  return Upper(sql.substr(0, length));
}

ub2 StatementType(std::string_view sql) {
  const std::string word = FirstWord(sql);
  if (word == "SELECT" || word == "WITH") return oci::OCI_STMT_SELECT;
  if (word == "UPDATE") return oci::OCI_STMT_UPDATE;
  if (word == "DELETE") return oci::OCI_STMT_DELETE;
  if (word == "INSERT") return oci::OCI_STMT_INSERT;
  if (word == "MERGE") return oci::OCI_STMT_MERGE;
  if (word == "CREATE") return kStmtCreate;
  if (word == "DROP") return kStmtDrop;
  if (word == "ALTER") return kStmtAlter;
  if (word == "BEGIN") return kStmtBegin;
  if (word == "DECLARE") return kStmtDeclare;
  if (word == "CALL") return kStmtCall;
  return kStmtUnknown;
}

bool ChangesRows(ub2 type) {
  return type == oci::OCI_STMT_UPDATE || type == oci::OCI_STMT_DELETE ||
         type == oci::OCI_STMT_INSERT || type == oci::OCI_STMT_MERGE;
}

// What follows "<prefix>" in SQLite's message, e.g. "T.NAME" of
// "UNIQUE constraint failed: T.NAME".
std::string After(const std::string& message, std::string_view prefix) {
  const std::size_t at = message.find(prefix);
  return at == std::string::npos ? message : message.substr(at + prefix.size());
}

// SQLite's latest error as an Oracle error.
sword FailFromSqlite(Env* env, Handle* error, const std::string& call, sqlite3* db,
                     const std::string& schema) {
  const int code = sqlite3_extended_errcode(db);
  const std::string message = sqlite3_errmsg(db);
  switch (code) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
      return Fail(env, error, call, 1,
                  "unique constraint (" + schema + "." + After(message, ": ") + ") violated");
    case SQLITE_CONSTRAINT_NOTNULL:
      return Fail(env, error, call, 1400, "cannot insert NULL into (" + After(message, ": ") + ")");
    case SQLITE_CONSTRAINT_CHECK:
      return Fail(env, error, call, 2290,
                  "check constraint (" + schema + "." + After(message, ": ") + ") violated");
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return Fail(env, error, call, 2291, "integrity constraint violated - parent key not found");
    default:
      break;
  }
  if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) {
    return Fail(env, error, call, 54,
                "resource busy and acquire with NOWAIT specified or timeout expired");
  }
  if ((code & 0xff) == SQLITE_READONLY) {
    return Fail(env, error, call, 16000,
                "database or pluggable database open for read-only access");
  }
  if (message.starts_with("no such table")) {
    return Fail(env, error, call, 942, "table or view does not exist");
  }
  if (message.starts_with("no such column: ")) {
    return Fail(env, error, call, 904,
                "\"" + Upper(After(message, ": ")) + "\": invalid identifier");
  }
  if (message.find("syntax error") != std::string::npos ||
      message.find("incomplete input") != std::string::npos) {
    return Fail(env, error, call, 933, "SQL command not properly ended");
  }
  return Fail(env, error, call, 600, "internal error code, arguments: [" + message + "]");
}

bool Run(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Whether `sql` is "ALTER SESSION SET CURRENT_SCHEMA=<name>"; the name goes to `schema`.
bool SchemaSwitch(std::string_view sql, std::string& schema) {
  std::string text = Upper(Trim(sql));
  std::string compact;
  for (const char c : text) {
    if (!std::isspace(static_cast<unsigned char>(c))) compact += c;
  }
  constexpr std::string_view kPrefix = "ALTERSESSIONSETCURRENT_SCHEMA=";
  if (!compact.starts_with(kPrefix)) return false;
  // Keep the original spelling of a quoted name; an unquoted one is upper case.
  const std::size_t equals = sql.find('=');
  std::string_view name = Trim(sql.substr(equals + 1));
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    schema = std::string(name.substr(1, name.size() - 2));
  } else {
    schema = Upper(name);
  }
  return true;
}

}  // namespace

extern "C" {

sword OCIEnvCreate(oci::OCIEnv** envhpp, ub4 mode, const void* /*ctxp*/,
                   void* (* /*malocfp*/)(void*, std::size_t),
                   void* (* /*ralocfp*/)(void*, void*, std::size_t),
                   void (* /*mfreefp*/)(void*, void*), std::size_t /*xtramem_sz*/,
                   void** /*usrmempp*/) {
  if (envhpp == nullptr) return oci::OCI_INVALID_HANDLE;
  *envhpp = nullptr;
  auto* env = new Env();
  if (!ReadConfig(env->config)) {
    delete env;
    return oci::OCI_ERROR;
  }
  env->type = oci::OCI_HTYPE_ENV;
  env->env = env;
  env->name = "env" + std::to_string(env->next_number++);
  if (!env->config.journal.empty()) env->journal = std::fopen(env->config.journal.c_str(), "a");
  *envhpp = reinterpret_cast<oci::OCIEnv*>(static_cast<Handle*>(env));
  return Done(env, "OCIEnvCreate mode=" + std::to_string(mode), oci::OCI_SUCCESS, env->name);
}

sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type, std::size_t /*xtramem_sz*/,
                     void** /*usrmempp*/) {
  Env* env = As<Env>(parenth, oci::OCI_HTYPE_ENV);
  if (env == nullptr || hndlpp == nullptr) return oci::OCI_INVALID_HANDLE;
  const std::string call = "OCIHandleAlloc " + env->name + " " + TypeName(type);
  Handle* handle = nullptr;
  switch (type) {
    case oci::OCI_HTYPE_ERROR:
      handle = NewChild<ErrorHandle>(env, type);
      break;
    case oci::OCI_HTYPE_SERVER:
      handle = NewChild<Server>(env, type);
      break;
    case oci::OCI_HTYPE_SVCCTX:
      handle = NewChild<Service>(env, type);
      break;
    case oci::OCI_HTYPE_SESSION:
      handle = NewChild<UserSession>(env, type);
      break;
    case oci::OCI_HTYPE_STMT:
      handle = NewChild<Statement>(env, type);
      break;
    default:
      return Done(env, call, oci::OCI_INVALID_HANDLE);
  }
  *hndlpp = handle;
  return Done(env, call, oci::OCI_SUCCESS, handle->name);
}

sword OCIHandleFree(void* hndlp, ub4 type) {
  Handle* handle = As<Handle>(hndlp, type);
  if (handle == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = handle->env;
  const std::string call = "OCIHandleFree " + handle->name + " " + TypeName(type);
  if (handle != env) {
    DeleteChild(handle);
    return Done(env, call, oci::OCI_SUCCESS);
  }
  // Freeing the environment frees every handle still allocated under it.
  std::string left = "left=";
  if (env->children.empty()) left += "none";
  while (!env->children.empty()) {
    Handle* child = *env->children.begin();
    if (left.back() != '=') left += ",";
    left += child->name;
    DeleteChild(child);
  }
  Done(env, call, oci::OCI_SUCCESS, left);
  if (env->journal != nullptr) std::fclose(env->journal);
  env->magic = 0;
  delete env;
  return oci::OCI_SUCCESS;
}

sword OCIErrorGet(void* hndlp, ub4 recordno, oci::OraText* /*sqlstate*/, sb4* errcodep,
                  oci::OraText* bufp, ub4 bufsiz, ub4 type) {
  Handle* handle = As<Handle>(hndlp, type);
  if (handle == nullptr) return oci::OCI_INVALID_HANDLE;
  if (recordno != 1 || handle->error_code == 0) return oci::OCI_NO_DATA;
  if (errcodep != nullptr) *errcodep = handle->error_code;
  if (bufp != nullptr && bufsiz > 0) {
    const std::size_t length = std::min<std::size_t>(handle->error_text.size(), bufsiz - 1);
    std::memcpy(bufp, handle->error_text.data(), length);
    bufp[length] = 0;
  }
  return oci::OCI_SUCCESS;
}

sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 oci::OCIError* errhp) {
  Handle* target = As<Handle>(trgthndlp, trghndltyp);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (target == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = target->env;
  std::string call = "OCIAttrSet " + target->name + " " + TypeName(trghndltyp) + " ";
  if (auto* service = dynamic_cast<Service*>(target); service != nullptr) {
    if (attrtype == oci::OCI_ATTR_SERVER) {
      service->server = As<Server>(attributep, oci::OCI_HTYPE_SERVER);
      if (service->server == nullptr) return Done(env, call + "SERVER", oci::OCI_INVALID_HANDLE);
      return Done(env, call + "SERVER=" + service->server->name, oci::OCI_SUCCESS);
    }
    if (attrtype == oci::OCI_ATTR_SESSION) {
      service->session = As<UserSession>(attributep, oci::OCI_HTYPE_SESSION);
      if (service->session == nullptr) return Done(env, call + "SESSION", oci::OCI_INVALID_HANDLE);
      return Done(env, call + "SESSION=" + service->session->name, oci::OCI_SUCCESS);
    }
  }
  if (auto* session = dynamic_cast<UserSession*>(target); session != nullptr) {
    const std::string value = attributep == nullptr
                                  ? std::string()
                                  : std::string(static_cast<const char*>(attributep), size);
    if (attrtype == oci::OCI_ATTR_USERNAME) {
      session->user = value;
      return Done(env, call + "USERNAME=" + Quoted(value), oci::OCI_SUCCESS);
    }
    if (attrtype == oci::OCI_ATTR_PASSWORD) {
      session->password = value;
      session->password_given = true;
      return Done(env, call + "PASSWORD=(" + std::to_string(size) + " bytes)", oci::OCI_SUCCESS);
    }
  }
  return Fail(env, error, call + std::to_string(attrtype), 24315, "illegal attribute type");
}

sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                 oci::OCIError* errhp) {
  auto* statement = As<Statement>(trgthndlp, trghndltyp);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (statement == nullptr || error == nullptr || attributep == nullptr)
    return oci::OCI_INVALID_HANDLE;
  Env* env = statement->env;
  const std::string call = "OCIAttrGet " + statement->name + " " + TypeName(trghndltyp) + " ";
  if (attrtype == oci::OCI_ATTR_STMT_TYPE) {
    *static_cast<ub2*>(attributep) = statement->kind;
    if (sizep != nullptr) *sizep = sizeof(ub2);
    return Done(env, call + "STMT_TYPE", oci::OCI_SUCCESS, std::to_string(statement->kind));
  }
  if (attrtype == oci::OCI_ATTR_ROW_COUNT) {
    *static_cast<ub4*>(attributep) = statement->rows;
    if (sizep != nullptr) *sizep = sizeof(ub4);
    return Done(env, call + "ROW_COUNT", oci::OCI_SUCCESS, std::to_string(statement->rows));
  }
  return Fail(env, error, call + std::to_string(attrtype), 24315, "illegal attribute type");
}

sword OCIServerAttach(oci::OCIServer* srvhp, oci::OCIError* errhp, const oci::OraText* dblink,
                      sb4 dblink_len, ub4 mode) {
  auto* server = As<Server>(srvhp, oci::OCI_HTYPE_SERVER);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (server == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = server->env;
  const std::string service = dblink == nullptr || dblink_len <= 0
                                  ? std::string()
                                  : std::string(reinterpret_cast<const char*>(dblink),
                                                static_cast<std::size_t>(dblink_len));
  const std::string call = "OCIServerAttach " + server->name + " " + Name(errhp) +
                           " dblink=" + Quoted(service) + " mode=" + std::to_string(mode);
  if (server->db != nullptr) return Fail(env, error, call, 24309, "already connected to a server");
  if (service != env->config.service) {
    return Fail(env, error, call, 12154, "TNS:could not resolve the connect identifier specified");
  }
  if (sqlite3_open_v2(env->config.database.c_str(), &server->db, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(server->db);
    server->db = nullptr;
    return Fail(env, error, call, 12541, "TNS:no listener");
  }
  sqlite3_extended_result_codes(server->db, 1);
  sqlite3_busy_timeout(server->db, 2000);
  return Done(env, call, oci::OCI_SUCCESS);
}

sword OCIServerDetach(oci::OCIServer* srvhp, oci::OCIError* errhp, ub4 mode) {
  auto* server = As<Server>(srvhp, oci::OCI_HTYPE_SERVER);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (server == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = server->env;
  const std::string call =
      "OCIServerDetach " + server->name + " " + error->name + " mode=" + std::to_string(mode);
  if (server->db == nullptr) return Fail(env, error, call, 24324, "service handle not initialized");
  std::string extra;
  if (server->in_transaction) {
    // Cut off without ending the session: the server rolls back.
    Run(server->db, "ROLLBACK");
    server->in_transaction = false;
    extra = "rolled-back";
  }
  sqlite3_close_v2(server->db);
  server->db = nullptr;
  return Done(env, call, oci::OCI_SUCCESS, extra);
}

sword OCISessionBegin(oci::OCISvcCtx* svchp, oci::OCIError* errhp, oci::OCISession* usrhp,
                      ub4 credt, ub4 mode) {
  auto* service = As<Service>(svchp, oci::OCI_HTYPE_SVCCTX);
  auto* session = As<UserSession>(usrhp, oci::OCI_HTYPE_SESSION);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || session == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = service->env;
  const std::string credentials = credt == oci::OCI_CRED_RDBMS ? "RDBMS"
                                  : credt == oci::OCI_CRED_EXT ? "EXT"
                                                               : std::to_string(credt);
  const std::string call = "OCISessionBegin " + service->name + " " + error->name + " " +
                           session->name + " credt=" + credentials +
                           " mode=" + std::to_string(mode);
  // The password is needed no longer than this call.
  struct Wipe {
    std::string& text;
    ~Wipe() {
      std::fill(text.begin(), text.end(), '\0');
      text.clear();
    }
  } wipe{session->password};
  if (service->server == nullptr || service->server->db == nullptr) {
    return Fail(env, error, call, 24324, "service handle not initialized");
  }
  if (session->begun) return Fail(env, error, call, 24313, "user already authenticated");
  const Config& config = env->config;
  if (credt == oci::OCI_CRED_EXT) {
    if (config.external_user.empty()) {
      return Fail(env, error, call, 1017, "invalid username/password; logon denied");
    }
    session->user = config.external_user;
  } else if (credt == oci::OCI_CRED_RDBMS) {
    if (session->password.empty()) {
      return Fail(env, error, call, 1005, "null password given; logon denied");
    }
    if (Upper(session->user) != Upper(config.user) || session->password != config.password) {
      return Fail(env, error, call, 1017, "invalid username/password; logon denied");
    }
  } else {
    return Fail(env, error, call, 24300, "bad value for mode");
  }
  session->begun = true;
  session->current_schema = Upper(session->user);
  return Done(env, call, oci::OCI_SUCCESS);
}

sword OCISessionEnd(oci::OCISvcCtx* svchp, oci::OCIError* errhp, oci::OCISession* usrhp, ub4 mode) {
  auto* service = As<Service>(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  auto* session =
      usrhp != nullptr ? As<UserSession>(usrhp, oci::OCI_HTYPE_SESSION) : service->session;
  Env* env = service->env;
  const std::string call = "OCISessionEnd " + service->name + " " + error->name + " " +
                           Name(session) + " mode=" + std::to_string(mode);
  if (session == nullptr || !session->begun) {
    return Fail(env, error, call, 24313, "user session not authenticated");
  }
  std::string extra;
  Server* server = service->server;
  if (server != nullptr && server->in_transaction) {
    // Ending a session commits its open transaction.
    Run(server->db, "COMMIT");
    server->in_transaction = false;
    extra = "committed";
  }
  session->begun = false;
  return Done(env, call, oci::OCI_SUCCESS, extra);
}

sword OCIStmtPrepare2(oci::OCISvcCtx* svchp, oci::OCIStmt** stmthp, oci::OCIError* errhp,
                      const oci::OraText* stmttext, ub4 stmt_len, const oci::OraText* /*key*/,
                      ub4 keylen, ub4 language, ub4 mode) {
  auto* service = As<Service>(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || error == nullptr || stmthp == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = service->env;
  const std::string text = stmttext == nullptr
                               ? std::string()
                               : std::string(reinterpret_cast<const char*>(stmttext), stmt_len);
  const std::string call = "OCIStmtPrepare2 " + service->name + " " + error->name +
                           " text=" + Quoted(text) + " keylen=" + std::to_string(keylen) +
                           " language=" + std::to_string(language) +
                           " mode=" + std::to_string(mode);
  *stmthp = nullptr;
  if (stmttext == nullptr)
    return Fail(env, error, call, 24430, "Null values for sqltext and key were specified.");
  auto* statement = NewChild<Statement>(env, oci::OCI_HTYPE_STMT);
  statement->service = service;
  statement->text = text;
  statement->kind = StatementType(text);
  *stmthp = reinterpret_cast<oci::OCIStmt*>(static_cast<Handle*>(statement));
  return Done(env, call, oci::OCI_SUCCESS, statement->name);
}

sword OCIStmtRelease(oci::OCIStmt* stmtp, oci::OCIError* errhp, const oci::OraText* /*key*/,
                     ub4 /*keylen*/, ub4 mode) {
  auto* statement = As<Statement>(stmtp, oci::OCI_HTYPE_STMT);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (statement == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = statement->env;
  const std::string call =
      "OCIStmtRelease " + statement->name + " " + error->name + " mode=" + std::to_string(mode);
  DeleteChild(statement);
  return Done(env, call, oci::OCI_SUCCESS);
}

sword OCIStmtExecute(oci::OCISvcCtx* svchp, oci::OCIStmt* stmtp, oci::OCIError* errhp, ub4 iters,
                     ub4 rowoff, const oci::OCISnapshot* /*snap_in*/,
                     oci::OCISnapshot* /*snap_out*/, ub4 mode) {
  auto* service = As<Service>(svchp, oci::OCI_HTYPE_SVCCTX);
  auto* statement = As<Statement>(stmtp, oci::OCI_HTYPE_STMT);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || statement == nullptr || error == nullptr)
    return oci::OCI_INVALID_HANDLE;
  Env* env = service->env;
  const std::string call = "OCIStmtExecute " + service->name + " " + statement->name + " " +
                           error->name + " iters=" + std::to_string(iters) +
                           " rowoff=" + std::to_string(rowoff) + " mode=" + std::to_string(mode);
  statement->rows = 0;
  Server* server = service->server;
  UserSession* session = service->session;
  if (server == nullptr || server->db == nullptr || session == nullptr || !session->begun) {
    return Fail(env, error, call, 3114, "not connected to ORACLE");
  }
  if (iters == 0 && statement->kind != oci::OCI_STMT_SELECT) {
    return Fail(env, error, call, 24333, "zero iteration count");
  }
  const std::string_view text = Trim(statement->text);
  if (statement->kind != kStmtBegin && statement->kind != kStmtDeclare && text.ends_with(";")) {
    return Fail(env, error, call, 911, "invalid character");
  }
  if (std::string schema; SchemaSwitch(text, schema)) {
    if (schema != env->config.schema && schema != Upper(session->user)) {
      return Fail(env, error, call, 1435, "user does not exist");
    }
    session->current_schema = schema;
    return Done(env, call, oci::OCI_SUCCESS);
  }
  if (statement->kind == kStmtUnknown) return Fail(env, error, call, 900, "invalid SQL statement");

  sqlite3_stmt* prepared = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(server->db, text.data(), static_cast<int>(text.size()), &prepared,
                         &tail) != SQLITE_OK) {
    sqlite3_finalize(prepared);
    return FailFromSqlite(env, error, call, server->db, session->current_schema);
  }
  if (prepared == nullptr ||
      !Trim(std::string_view(tail, static_cast<std::size_t>(text.data() + text.size() - tail)))
           .empty()) {
    sqlite3_finalize(prepared);
    return Fail(env, error, call, 911, "invalid character");
  }
  if (ChangesRows(statement->kind) && !server->in_transaction) {
    if (!Run(server->db, "BEGIN IMMEDIATE")) {
      sqlite3_finalize(prepared);
      return FailFromSqlite(env, error, call, server->db, session->current_schema);
    }
    server->in_transaction = true;
  }
  int rc = SQLITE_ROW;
  // A query without iterations is only executed; a row-changing statement runs to its end.
  while (rc == SQLITE_ROW) {
    rc = sqlite3_step(prepared);
    if (statement->kind == oci::OCI_STMT_SELECT && iters == 0) break;
  }
  sqlite3_finalize(prepared);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    return FailFromSqlite(env, error, call, server->db, session->current_schema);
  }
  if (ChangesRows(statement->kind)) statement->rows = static_cast<ub4>(sqlite3_changes(server->db));
  return Done(env, call, oci::OCI_SUCCESS, "rows=" + std::to_string(statement->rows));
}

sword OCITransCommit(oci::OCISvcCtx* svchp, oci::OCIError* errhp, ub4 flags) {
  auto* service = As<Service>(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = service->env;
  const std::string call =
      "OCITransCommit " + service->name + " " + error->name + " flags=" + std::to_string(flags);
  Server* server = service->server;
  if (server == nullptr || server->db == nullptr)
    return Fail(env, error, call, 3114, "not connected to ORACLE");
  if (server->in_transaction) {
    if (!Run(server->db, "COMMIT")) {
      return FailFromSqlite(env, error, call, server->db,
                            Upper(service->session ? service->session->user : ""));
    }
    server->in_transaction = false;
  }
  return Done(env, call, oci::OCI_SUCCESS);
}

sword OCITransRollback(oci::OCISvcCtx* svchp, oci::OCIError* errhp, ub4 flags) {
  auto* service = As<Service>(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = As<ErrorHandle>(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || error == nullptr) return oci::OCI_INVALID_HANDLE;
  Env* env = service->env;
  const std::string call =
      "OCITransRollback " + service->name + " " + error->name + " flags=" + std::to_string(flags);
  Server* server = service->server;
  if (server == nullptr || server->db == nullptr)
    return Fail(env, error, call, 3114, "not connected to ORACLE");
  if (server->in_transaction) {
    Run(server->db, "ROLLBACK");
    server->in_transaction = false;
  }
  return Done(env, call, oci::OCI_SUCCESS);
}

}  // extern "C"

// The exports have exactly the signatures the session's binding declares.
static_assert(std::is_same_v<decltype(&OCIEnvCreate), oci::OCIEnvCreateFn>);
static_assert(std::is_same_v<decltype(&OCIHandleAlloc), oci::OCIHandleAllocFn>);
static_assert(std::is_same_v<decltype(&OCIHandleFree), oci::OCIHandleFreeFn>);
static_assert(std::is_same_v<decltype(&OCIAttrSet), oci::OCIAttrSetFn>);
static_assert(std::is_same_v<decltype(&OCIAttrGet), oci::OCIAttrGetFn>);
static_assert(std::is_same_v<decltype(&OCIServerAttach), oci::OCIServerAttachFn>);
static_assert(std::is_same_v<decltype(&OCIServerDetach), oci::OCIServerDetachFn>);
static_assert(std::is_same_v<decltype(&OCISessionBegin), oci::OCISessionBeginFn>);
static_assert(std::is_same_v<decltype(&OCISessionEnd), oci::OCISessionEndFn>);
static_assert(std::is_same_v<decltype(&OCIStmtPrepare2), oci::OCIStmtPrepare2Fn>);
static_assert(std::is_same_v<decltype(&OCIStmtExecute), oci::OCIStmtExecuteFn>);
static_assert(std::is_same_v<decltype(&OCIStmtRelease), oci::OCIStmtReleaseFn>);
static_assert(std::is_same_v<decltype(&OCITransCommit), oci::OCITransCommitFn>);
static_assert(std::is_same_v<decltype(&OCITransRollback), oci::OCITransRollbackFn>);
static_assert(std::is_same_v<decltype(&OCIErrorGet), oci::OCIErrorGetFn>);
