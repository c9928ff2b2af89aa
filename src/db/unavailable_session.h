// A session for a backend that cannot be used on this machine: Connect reports
// kStatusBackendUnavailable, and LastMessage() says why.
#ifndef KOLVADEX_DB_UNAVAILABLE_SESSION_H_
#define KOLVADEX_DB_UNAVAILABLE_SESSION_H_

#include <string>
#include <utility>

#include "db/session.h"

namespace kolvadex::db {

class UnavailableSession final : public Session {
 public:
  explicit UnavailableSession(std::string reason) : reason_(std::move(reason)) {}
  int Connect(const ConnectParams& /*params*/) override { return kStatusBackendUnavailable; }
  int SwitchSchema(std::string_view /*schema*/) override { return kStatusBackendUnavailable; }
  int Execute(std::string_view /*statement*/) override { return kStatusBackendUnavailable; }
  int Commit() override { return kStatusBackendUnavailable; }
  int Rollback() override { return 0; }
  [[nodiscard]] std::string LastMessage() const override { return reason_; }

 private:
  std::string reason_;
};

}  // namespace kolvadex::db

#endif  // KOLVADEX_DB_UNAVAILABLE_SESSION_H_
