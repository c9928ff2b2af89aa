#include "db/postgresql/session.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "common/secret.h"
#include "db/postgresql/errors.h"
#include "db/postgresql/client_library.h"

namespace kolvadex::db::postgresql {
namespace {

// Finds the schema under its name as given or in lower case (the exact name
// first) and puts it ahead of the session's search path. No row: no schema.
// The names ($1, $2) are not empty. to_regnamespace looks the name up in
// the server's catalog cache: as the first query of a new session (which
// every run is) it costs the server 0.6 ms, a query on pg_namespace 0.9 ms.
constexpr const char* kSwitchSchemaSql =
    "SELECT pg_catalog.set_config('search_path', n.s::pg_catalog.text || "
    "CASE WHEN pg_catalog.current_setting('search_path') = '' THEN '' "
    "ELSE ', ' || pg_catalog.current_setting('search_path') END, false) "
    "FROM (SELECT COALESCE(pg_catalog.to_regnamespace(pg_catalog.quote_ident($1)), "
    "pg_catalog.to_regnamespace(pg_catalog.quote_ident($2))) AS s) AS n WHERE n.s IS NOT NULL";

void IgnoreNotice(void* /*arg*/, const char* /*message*/) {}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return lower;
}

// The two URI prefixes libpq accepts.
std::size_t UriPrefixLength(std::string_view service) {
  for (const std::string_view prefix : {"postgresql://", "postgres://"}) {
    if (service.starts_with(prefix)) return prefix.size();
  }
  return 0;
}

// What libpq expands instead of taking it as a database name.
bool IsConnectionString(std::string_view service) {
  return UriPrefixLength(service) != 0 || service.find('=') != std::string_view::npos;
}

// The password of a URI's user part ("user:password@"), as written, or empty.
std::string UriPassword(std::string_view service) {
  const std::size_t prefix = UriPrefixLength(service);
  if (prefix == 0) return {};
  const std::string_view rest = service.substr(prefix);
  const std::size_t end = rest.find_first_of("@/");
  if (end == std::string_view::npos || rest[end] != '@') return {};
  const std::string_view user_part = rest.substr(0, end);
  const std::size_t colon = user_part.find(':');
  return colon == std::string_view::npos ? std::string() : std::string(user_part.substr(colon + 1));
}

// Rows processed are worth reporting for these commands only.
bool ChangesRows(std::string_view command_status) {
  const std::string_view word = command_status.substr(0, command_status.find(' '));
  return word == "UPDATE" || word == "DELETE" || word == "INSERT" || word == "MERGE";
}

class PostgresqlSession final : public Session {
 public:
  explicit PostgresqlSession(std::string library) : library_name_(std::move(library)) {}

  int Connect(const ConnectParams& params) override {
    conn_.reset();
    if (!libpq_) {
      std::string reason;
      libpq_ = Libpq::Load(library_name_, reason);
      if (!libpq_) {
        message_ = OneLine("PostgreSQL-Clientbibliothek " + library_name_ +
                           " kann nicht geladen werden: " + reason);
        return kStatusBackendUnavailable;
      }
    }
    const LibpqFunctions& pq = libpq_->fn();

    // Every password known here, to keep them out of messages; wiped on return.
    // Room is reserved, so that no copy is left behind when the list grows.
    SecretList secrets;
    secrets.items.reserve(4);
    secrets.items.emplace_back(params.password);
    const std::string service(params.service);
    const std::string user(params.user);
    for (const std::string_view value : {params.service, params.user, params.password}) {
      if (value.find('\0') != std::string_view::npos) {
        message_ = "die Verbindungsdaten enthalten ein Nullzeichen";
        return kStatusConnectFailed;
      }
    }
    if (!CheckService(service, secrets.items)) return kStatusConnectFailed;

    const std::string timeout = std::to_string(kDefaultConnectTimeoutSeconds);
    // Later entries win: the service overrides the default timeout and
    // application name, the credential file's user and password override the
    // service's.
    std::vector<const char*> keywords{"connect_timeout", "fallback_application_name"};
    std::vector<const char*> values{timeout.c_str(), "kolvadex"};
    const auto add = [&](const char* keyword, const std::string& value) {
      if (value.empty()) return;
      keywords.push_back(keyword);
      values.push_back(value.c_str());
    };
    add("dbname", service);
    add("user", user);
    add("password", secrets.items.front());
    keywords.push_back(nullptr);
    values.push_back(nullptr);

    conn_ = ConnectionPtr(pq.connectdb_params(keywords.data(), values.data(), 1),
                          ConnectionCloser{pq.finish});
    if (!conn_) {
      message_ = "kein Speicher fuer die Verbindung";
      return kStatusConnectFailed;
    }
    if (pq.status(conn_.get()) != CONNECTION_OK) {
      message_ = Redact(OneLine(pq.error_message(conn_.get())), secrets.items);
      conn_.reset();
      return kStatusConnectFailed;
    }
    pq.set_notice_processor(conn_.get(), IgnoreNotice, nullptr);
    return 0;
  }

  int SwitchSchema(std::string_view schema) override {
    if (!conn_) return NotConnected();
    const std::string exact(schema);
    const std::string lower = AsciiLower(schema);
    if (exact.find('\0') != std::string::npos) {
      return Fail(kStatusServerError, "der Schemaname enthaelt ein Nullzeichen");
    }
    // No schema has an empty name: there is nothing to look up.
    bool found = false;
    if (!exact.empty()) {
      const char* const values[] = {exact.c_str(), lower.c_str()};
      const ResultPtr result = Run(kSwitchSchemaSql, 2, values);
      if (!Succeeded(result)) return FailWith(result);
      found = libpq_->fn().ntuples(result.get()) != 0;
    }
    if (!found) {
      std::string text = "SQLSTATE 3F000: Schema \"" + exact + "\" existiert nicht";
      if (lower != exact) text += " (auch nicht als \"" + lower + "\")";
      return Fail(kStatusServerError, OneLine(text));
    }
    return 0;
  }

  int Execute(std::string_view statement) override {
    if (!conn_) return NotConnected();
    const std::string text(statement);
    if (text.find('\0') != std::string::npos) {
      return Fail(kStatusServerError, "die Anweisung enthaelt ein Nullzeichen");
    }
    const LibpqFunctions& pq = libpq_->fn();
    if (pq.transaction_status(conn_.get()) == PQTRANS_IDLE) {
      const ResultPtr begun = Run("BEGIN");
      if (!Succeeded(begun)) return FailWith(begun);
    }
    const ResultPtr result = Run(text.c_str(), 0, nullptr);
    switch (pq.result_status(result.get())) {
      case PGRES_COMMAND_OK:
      case PGRES_TUPLES_OK:
        break;
      case PGRES_EMPTY_QUERY:
        return Fail(kStatusServerError, "der Text enthaelt keine SQL-Anweisung");
      case PGRES_COPY_IN:
      case PGRES_COPY_OUT:
      case PGRES_COPY_BOTH:
        // libpq ends the copy with the next command (the rollback).
        return Fail(kStatusServerError, "COPY wird nicht unterstuetzt");
      default:
        return FailWith(result);
    }
    const char* const rows = pq.cmd_tuples(result.get());
    if (ChangesRows(pq.cmd_status(result.get())) && std::strcmp(rows, "0") == 0) {
      return kStatusNoRowsProcessed;
    }
    return 0;
  }

  int Commit() override {
    if (!conn_) return NotConnected();
    if (libpq_->fn().transaction_status(conn_.get()) == PQTRANS_IDLE) return 0;
    const ResultPtr result = Run("COMMIT");
    if (!Succeeded(result)) return FailWith(result);
    // COMMIT of a transaction that an error broke answers "ROLLBACK".
    if (std::strcmp(libpq_->fn().cmd_status(result.get()), "ROLLBACK") == 0) {
      return Fail(kStatusServerError,
                  "SQLSTATE 25P02: die Transaktion war fehlgeschlagen und wurde zurueckgerollt");
    }
    return 0;
  }

  int Rollback() override {
    if (!conn_ || libpq_->fn().transaction_status(conn_.get()) == PQTRANS_IDLE) return 0;
    const ResultPtr result = Run("ROLLBACK");
    return Succeeded(result) ? 0 : FailWith(result);
  }

  [[nodiscard]] std::string LastMessage() const override { return message_; }

 private:
  struct ConnectionCloser {
    decltype(&PQfinish) finish = nullptr;
    void operator()(PGconn* conn) const noexcept { finish(conn); }
  };
  struct ResultClearer {
    decltype(&PQclear) clear = nullptr;
    void operator()(PGresult* result) const noexcept { clear(result); }
  };
  using ConnectionPtr = std::unique_ptr<PGconn, ConnectionCloser>;
  using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

  struct ConninfoFreer {
    decltype(&PQconninfoFree) free = nullptr;
    void operator()(PQconninfoOption* options) const noexcept { free(options); }
  };

  struct SecretList {
    SecretList() = default;
    SecretList(const SecretList&) = delete;
    SecretList& operator=(const SecretList&) = delete;
    ~SecretList() {
      for (std::string& item : items) SecureWipe(item);
    }
    std::vector<std::string> items;
  };

  // Checks a service that libpq would expand, and adds the passwords it holds
  // to `secrets`. On a malformed service sets the message and returns false;
  // libpq's text quotes parts of the service, so it is only shown when the
  // service holds no password.
  bool CheckService(const std::string& service, std::vector<std::string>& secrets) {
    if (!IsConnectionString(service)) return true;
    const LibpqFunctions& pq = libpq_->fn();
    secrets.push_back(UriPassword(service));
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, ConninfoFreer> options(
        pq.conninfo_parse(service.c_str(), &error), ConninfoFreer{pq.conninfo_free});
    if (options) {
      for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
        if (std::strcmp(option->keyword, "password") == 0 && option->val != nullptr) {
          secrets.emplace_back(option->val);
          SecureWipe(option->val, std::strlen(option->val));
        }
      }
      return true;
    }
    std::string detail = error != nullptr ? OneLine(error) : std::string("kein Speicher");
    if (error != nullptr) pq.freemem(error);
    message_ = "ungueltige Verbindungsangabe (NET8)";
    if (service.find("password") == std::string::npos) {
      message_ += ": " + Redact(std::move(detail), secrets);
    } else {
      SecureWipe(detail);
    }
    return false;
  }

  ResultPtr Run(const char* sql) {
    return ResultPtr(libpq_->fn().exec(conn_.get(), sql), ResultClearer{libpq_->fn().clear});
  }

  ResultPtr Run(const char* sql, int count, const char* const* values) {
    return ResultPtr(
        libpq_->fn().exec_params(conn_.get(), sql, count, nullptr, values, nullptr, nullptr, 0),
        ResultClearer{libpq_->fn().clear});
  }

  bool Succeeded(const ResultPtr& result) const {
    if (!result) return false;
    const ExecStatusType status = libpq_->fn().result_status(result.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  }

  // The status and message of a failed command (no result: libpq's text).
  int FailWith(const ResultPtr& result) {
    const LibpqFunctions& pq = libpq_->fn();
    if (!result) return Fail(kStatusServerError, OneLine(pq.error_message(conn_.get())));
    const char* const sqlstate = pq.result_error_field(result.get(), PG_DIAG_SQLSTATE);
    const char* const primary = pq.result_error_field(result.get(), PG_DIAG_MESSAGE_PRIMARY);
    const char* fallback = pq.result_error_message(result.get());
    if (fallback == nullptr || *fallback == '\0') fallback = pq.error_message(conn_.get());
    return Fail(StatusFromSqlState(sqlstate), ErrorText(sqlstate, primary, fallback));
  }

  int Fail(int status, std::string message) {
    message_ = std::move(message);
    return status;
  }

  int NotConnected() { return Fail(kStatusServerError, "keine Verbindung zur Datenbank"); }

  std::string library_name_;
  // Declared before conn_, so the library is closed after the connection.
  // Closing the connection rolls back what was not committed.
  std::unique_ptr<Libpq> libpq_;
  ConnectionPtr conn_{nullptr, ConnectionCloser{}};
  std::string message_;
};

}  // namespace

std::unique_ptr<Session> MakeSession() { return MakeSession(kLibpqName); }

std::unique_ptr<Session> MakeSession(std::string library) {
  return std::make_unique<PostgresqlSession>(std::move(library));
}

}  // namespace kolvadex::db::postgresql
