#include "db/oracle/session.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "db/oracle/client_library.h"
#include "db/oracle/errors.h"
#include "db/oracle/oci_api.h"

namespace kolvadex::db::oracle {
namespace {

using oci::OCI_DEFAULT;
using oci::sword;
using oci::ub2;
using oci::ub4;
using ClientPtr = std::shared_ptr<const ClientLibrary>;

// One OCI handle, freed with OCIHandleFree. It holds the library as long as it
// lives.
template <typename T, ub4 kType>
class Handle {
 public:
  Handle() = default;
  Handle(ClientPtr client, T* handle) : client_(std::move(client)), handle_(handle) {}
  Handle(Handle&& other) noexcept
      : client_(std::move(other.client_)), handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      client_ = std::move(other.client_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }

  [[nodiscard]] T* get() const { return handle_; }

  void Reset() noexcept {
    if (handle_ != nullptr) client_->api().HandleFree(std::exchange(handle_, nullptr), kType);
    client_.reset();
  }

 private:
  ClientPtr client_;
  T* handle_ = nullptr;
};

// A call that undoes an earlier one (detach, end the session, release the
// statement), made once when the object goes away or is reset.
class ScopedCall {
 public:
  ScopedCall() = default;
  explicit ScopedCall(std::function<void()> call) : call_(std::move(call)) {}
  ScopedCall(ScopedCall&& other) noexcept : call_(std::exchange(other.call_, nullptr)) {}
  ScopedCall& operator=(ScopedCall&& other) noexcept {
    if (this != &other) {
      Reset();
      call_ = std::exchange(other.call_, nullptr);
    }
    return *this;
  }
  ScopedCall(const ScopedCall&) = delete;
  ScopedCall& operator=(const ScopedCall&) = delete;
  ~ScopedCall() { Reset(); }

  void Reset() noexcept {
    if (call_) std::exchange(call_, nullptr)();
  }

 private:
  std::function<void()> call_;
};

// The length of a text as OCI takes it; false when it does not fit.
template <typename Length>
bool LengthOf(std::string_view text, Length& length) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  length = static_cast<Length>(text.size());
  return true;
}

// Text attributes are passed without const, as the interface declares them; the
// client only reads them.
void* AttributeText(std::string_view text) {
  static constexpr char kEmpty[] = "";
  return const_cast<char*>(text.empty() ? kEmpty : text.data());
}

bool ChangesRows(ub2 statement_type) {
  return statement_type == oci::OCI_STMT_UPDATE || statement_type == oci::OCI_STMT_DELETE ||
         statement_type == oci::OCI_STMT_INSERT || statement_type == oci::OCI_STMT_MERGE;
}

class OracleSession final : public Session {
 public:
  OracleSession() = default;
  ~OracleSession() override { Close(); }

  int Connect(const ConnectParams& params) override {
    Close();
    message_.clear();
    client_ = ClientLibrary::Load(message_);
    if (!client_) return kStatusBackendUnavailable;
    const int status = Logon(params);
    if (status != 0) Close();
    return status;
  }

  int SwitchSchema(std::string_view schema) override {
    return Run("ALTER SESSION SET CURRENT_SCHEMA=" + std::string(schema), false);
  }

  int Execute(std::string_view statement) override {
    if (connected_) work_pending_ = true;
    return Run(statement, true);
  }

  int Commit() override {
    if (!connected_) return NotConnected();
    const int status = Check(api().TransCommit(service_.get(), error_.get(), OCI_DEFAULT));
    if (status == 0) work_pending_ = false;
    return status;
  }

  int Rollback() override {
    if (!connected_) return 0;
    const int status = Check(api().TransRollback(service_.get(), error_.get(), OCI_DEFAULT));
    if (status == 0) work_pending_ = false;
    return status;
  }

  [[nodiscard]] std::string LastMessage() const override { return message_; }

 private:
  using EnvHandle = Handle<oci::OCIEnv, oci::OCI_HTYPE_ENV>;
  using ErrorHandle = Handle<oci::OCIError, oci::OCI_HTYPE_ERROR>;
  using ServerHandle = Handle<oci::OCIServer, oci::OCI_HTYPE_SERVER>;
  using ServiceHandle = Handle<oci::OCISvcCtx, oci::OCI_HTYPE_SVCCTX>;
  using UserHandle = Handle<oci::OCISession, oci::OCI_HTYPE_SESSION>;

  [[nodiscard]] const oci::Api& api() const { return client_->api(); }

  // Environment, server attachment and user session, in this order.
  int Logon(const ConnectParams& params) {
    oci::OCIEnv* env = nullptr;
    const sword created =
        api().EnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    if (env != nullptr) env_ = EnvHandle(client_, env);
    if (created != oci::OCI_SUCCESS && created != oci::OCI_SUCCESS_WITH_INFO) {
      // The client is installed but cannot start (its message files, NLS_LANG).
      std::string reason;
      StatusFromCall(api(), created, env, oci::OCI_HTYPE_ENV, reason);
      message_ = "Oracle-Client kann keine Umgebung anlegen (OCIEnvCreate: " + reason +
                 "); ORACLE_HOME und NLS_LANG pruefen";
      return kStatusBackendUnavailable;
    }
    if (int status = Allocate(error_); status != 0) return status;
    if (int status = Allocate(server_); status != 0) return status;

    oci::sb4 service_length = 0;
    if (!LengthOf(params.service, service_length)) return TooLong();
    const std::string service(params.service);  // zero-terminated, as the client expects
    int status = Check(api().ServerAttach(server_.get(), error_.get(),
                                          reinterpret_cast<const oci::OraText*>(service.c_str()),
                                          service_length, OCI_DEFAULT));
    if (status != 0) return status;
    detach_ = ScopedCall([client = client_, server = server_.get(), error = error_.get()] {
      client->api().ServerDetach(server, error, OCI_DEFAULT);
    });

    if ((status = Allocate(service_)) != 0) return status;
    if ((status = SetAttribute(service_.get(), oci::OCI_HTYPE_SVCCTX, server_.get(), 0,
                               oci::OCI_ATTR_SERVER)) != 0) {
      return status;
    }
    if ((status = Allocate(user_)) != 0) return status;
    const bool external = params.user.empty() && params.password.empty();
    if (!external) {
      ub4 user_length = 0;
      ub4 password_length = 0;
      if (!LengthOf(params.user, user_length) || !LengthOf(params.password, password_length)) {
        return TooLong();
      }
      if ((status = SetAttribute(user_.get(), oci::OCI_HTYPE_SESSION, AttributeText(params.user),
                                 user_length, oci::OCI_ATTR_USERNAME)) != 0 ||
          (status =
               SetAttribute(user_.get(), oci::OCI_HTYPE_SESSION, AttributeText(params.password),
                            password_length, oci::OCI_ATTR_PASSWORD)) != 0) {
        return status;
      }
    }
    status =
        Check(api().SessionBegin(service_.get(), error_.get(), user_.get(),
                                 external ? oci::OCI_CRED_EXT : oci::OCI_CRED_RDBMS, OCI_DEFAULT));
    if (status != 0) return status;
    logoff_ = ScopedCall(
        [client = client_, service = service_.get(), error = error_.get(), user = user_.get()] {
          client->api().SessionEnd(service, error, user, OCI_DEFAULT);
        });
    if ((status = SetAttribute(service_.get(), oci::OCI_HTYPE_SVCCTX, user_.get(), 0,
                               oci::OCI_ATTR_SESSION)) != 0) {
      return status;
    }
    connected_ = true;
    return 0;
  }

  // Prepares and executes `text` once. With `count_rows`, a row-changing
  // statement that processed no row reports kStatusNoRowsProcessed.
  int Run(std::string_view text, bool count_rows) {
    if (!connected_) return NotConnected();
    ub4 length = 0;
    if (!LengthOf(text, length)) return TooLong();
    const std::string statement(text);  // zero-terminated, as the client expects
    oci::OCIStmt* raw = nullptr;
    const sword prepared =
        api().StmtPrepare2(service_.get(), &raw, error_.get(),
                           reinterpret_cast<const oci::OraText*>(statement.c_str()), length,
                           nullptr, 0, oci::OCI_NTV_SYNTAX, OCI_DEFAULT);
    ScopedCall release;
    if (raw != nullptr) {
      release = ScopedCall([client = client_, raw, error = error_.get()] {
        client->api().StmtRelease(raw, error, nullptr, 0, OCI_DEFAULT);
      });
    }
    int status = Check(prepared);
    if (status != 0) return status;

    ub2 type = 0;
    if ((status = GetAttribute(raw, &type, oci::OCI_ATTR_STMT_TYPE)) != 0) return status;
    // A query runs without fetching (no iteration); any other statement once.
    const ub4 iterations = type == oci::OCI_STMT_SELECT ? 0 : 1;
    status = Check(api().StmtExecute(service_.get(), raw, error_.get(), iterations, 0, nullptr,
                                     nullptr, OCI_DEFAULT));
    if (status != 0 || !count_rows || !ChangesRows(type)) return status;

    ub4 rows = 0;
    if ((status = GetAttribute(raw, &rows, oci::OCI_ATTR_ROW_COUNT)) != 0) return status;
    if (rows != 0) return 0;
    message_.clear();
    return kStatusNoRowsProcessed;
  }

  template <typename T, ub4 kType>
  int Allocate(Handle<T, kType>& handle) {
    void* raw = nullptr;
    const sword result = api().HandleAlloc(env_.get(), &raw, kType, 0, nullptr);
    if (raw != nullptr) handle = Handle<T, kType>(client_, static_cast<T*>(raw));
    return StatusFromCall(api(), result, env_.get(), oci::OCI_HTYPE_ENV, message_);
  }

  int SetAttribute(void* target, ub4 target_type, void* value, ub4 size, ub4 attribute) {
    return Check(api().AttrSet(target, target_type, value, size, attribute, error_.get()));
  }

  template <typename T>
  int GetAttribute(oci::OCIStmt* statement, T* value, ub4 attribute) {
    return Check(
        api().AttrGet(statement, oci::OCI_HTYPE_STMT, value, nullptr, attribute, error_.get()));
  }

  int Check(sword result) {
    return StatusFromCall(api(), result, error_.get(), oci::OCI_HTYPE_ERROR, message_);
  }

  int NotConnected() {
    message_ = "keine Verbindung zur Oracle-Datenbank";
    return kStatusNotConnected;
  }

  int TooLong() {
    message_ = "Text zu lang fuer den Oracle-Client";
    return kStatusClientFailure;
  }

  // Ends everything Connect began, in the reverse order.
  void Close() noexcept {
    if (connected_ && work_pending_) {
      // Ending the session would commit what the driver did not commit.
      api().TransRollback(service_.get(), error_.get(), OCI_DEFAULT);
    }
    connected_ = false;
    work_pending_ = false;
    logoff_.Reset();
    detach_.Reset();
    user_.Reset();
    service_.Reset();
    server_.Reset();
    error_.Reset();
    env_.Reset();
    client_.reset();
  }

  ClientPtr client_;
  EnvHandle env_;
  ErrorHandle error_;
  ServerHandle server_;
  ServiceHandle service_;
  UserHandle user_;
  ScopedCall detach_;  // OCIServerDetach
  ScopedCall logoff_;  // OCISessionEnd
  bool connected_ = false;
  bool work_pending_ = false;  // executed since the last commit or rollback
  std::string message_;
};

}  // namespace

std::unique_ptr<Session> MakeSession() { return std::make_unique<OracleSession>(); }

}  // namespace kolvadex::db::oracle
