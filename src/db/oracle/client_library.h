// The Oracle client library, loaded at run time.
//
// Load() tries the client's file names in a fixed order, first through the
// system's search path, then in the client folder below $ORACLE_HOME, and
// keeps the first library that exports every call of oci::Api. The library
// stays loaded as long as a ClientLibrary lives; every handle of the session
// holds a shared pointer to it, so the library is unloaded only after the last
// handle was released.
//
// On failure Load() returns null and puts one German line into `message`: the
// names tried, where, and the loader's reason (or the call that is missing).
#ifndef KOLVADEX_DB_ORACLE_CLIENT_LIBRARY_H_
#define KOLVADEX_DB_ORACLE_CLIENT_LIBRARY_H_

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "db/oracle/oci_api.h"
#include "platform/dynamic_library.h"

namespace kolvadex::db::oracle {

class ClientLibrary {
 public:
  // The client's file names on this platform, in the order they are tried.
  static std::span<const std::string_view> FileNames();
  // The folder below $ORACLE_HOME that holds the client library.
  static std::string_view HomeSubfolder();

  static std::shared_ptr<const ClientLibrary> Load(std::string& message);

  [[nodiscard]] const oci::Api& api() const { return api_; }

 private:
  ClientLibrary() = default;

  platform::DynamicLibrary library_;
  oci::Api api_;
};

}  // namespace kolvadex::db::oracle

#endif  // KOLVADEX_DB_ORACLE_CLIENT_LIBRARY_H_
