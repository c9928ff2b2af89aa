#include "db/oracle/client_library.h"

#include <array>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "db/oracle/errors.h"

namespace kolvadex::db::oracle {
namespace {

#if defined(_WIN32)
constexpr std::array<std::string_view, 1> kFileNames = {"oci.dll"};
constexpr std::string_view kHomeSubfolder = "bin";
#elif defined(__APPLE__)
constexpr std::array<std::string_view, 7> kFileNames = {
    "libclntsh.dylib",      "libclntsh.dylib.23.1", "libclntsh.dylib.21.1", "libclntsh.dylib.19.1",
    "libclntsh.dylib.18.1", "libclntsh.dylib.12.1", "libclntsh.dylib.11.1"};
constexpr std::string_view kHomeSubfolder = "lib";
#else
constexpr std::array<std::string_view, 7> kFileNames = {
    "libclntsh.so",      "libclntsh.so.23.1", "libclntsh.so.21.1", "libclntsh.so.19.1",
    "libclntsh.so.18.1", "libclntsh.so.12.1", "libclntsh.so.11.1"};
constexpr std::string_view kHomeSubfolder = "lib";
#endif

// Looks up one call; remembers the first one that is missing.
template <typename Fn>
void Bind(const platform::DynamicLibrary& library, const char* name, Fn& slot,
          const char*& missing) {
  void* address = library.Symbol(name);
  if (address == nullptr) {
    if (missing == nullptr) missing = name;
    return;
  }
  slot = reinterpret_cast<Fn>(address);
}

// Fills `api`; returns the name of the first call the library does not export,
// or nullptr when it exports them all.
const char* BindCalls(const platform::DynamicLibrary& library, oci::Api& api) {
  const char* missing = nullptr;
  Bind(library, "OCIEnvCreate", api.EnvCreate, missing);
  Bind(library, "OCIHandleAlloc", api.HandleAlloc, missing);
  Bind(library, "OCIHandleFree", api.HandleFree, missing);
  Bind(library, "OCIAttrSet", api.AttrSet, missing);
  Bind(library, "OCIAttrGet", api.AttrGet, missing);
  Bind(library, "OCIServerAttach", api.ServerAttach, missing);
  Bind(library, "OCIServerDetach", api.ServerDetach, missing);
  Bind(library, "OCISessionBegin", api.SessionBegin, missing);
  Bind(library, "OCISessionEnd", api.SessionEnd, missing);
  Bind(library, "OCIStmtPrepare2", api.StmtPrepare2, missing);
  Bind(library, "OCIStmtExecute", api.StmtExecute, missing);
  Bind(library, "OCIStmtRelease", api.StmtRelease, missing);
  Bind(library, "OCITransCommit", api.TransCommit, missing);
  Bind(library, "OCITransRollback", api.TransRollback, missing);
  Bind(library, "OCIErrorGet", api.ErrorGet, missing);
  return missing;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

std::span<const std::string_view> ClientLibrary::FileNames() { return kFileNames; }

std::string_view ClientLibrary::HomeSubfolder() { return kHomeSubfolder; }

std::shared_ptr<const ClientLibrary> ClientLibrary::Load(std::string& message) {
  const std::string separator(1, platform::PathSeparator());
  const std::string home = platform::Environment("ORACLE_HOME");
  const std::string home_folder =
      home.empty() ? std::string() : home + separator + std::string(kHomeSubfolder);

  struct Candidate {
    std::string name;
    bool in_home;
  };
  std::vector<Candidate> candidates;
  candidates.reserve(2 * kFileNames.size());
  for (const std::string_view name : kFileNames) candidates.push_back({std::string(name), false});
  if (!home_folder.empty()) {
    for (const std::string_view name : kFileNames) {
      candidates.push_back({home_folder + separator + std::string(name), true});
    }
  }

  std::string first_reason;  // of the first name tried
  std::string home_reason;   // of a file below $ORACLE_HOME that exists but did not load
  std::string unusable;      // a library that loaded but lacks a call
  for (const Candidate& candidate : candidates) {
    platform::DynamicLibrary library;
    std::string reason;
    if (!library.Open(candidate.name, reason)) {
      if (first_reason.empty()) first_reason = reason;
      if (home_reason.empty() && candidate.in_home && FileExists(candidate.name)) {
        home_reason = reason;
      }
      continue;
    }
    std::shared_ptr<ClientLibrary> client(new ClientLibrary());
    if (const char* missing = BindCalls(library, client->api_); missing != nullptr) {
      if (unusable.empty()) {
        unusable = "Oracle-Client-Bibliothek " + candidate.name +
                   " ist unbrauchbar: die Funktion " + missing + " fehlt";
      }
      continue;
    }
    client->library_ = std::move(library);
    return client;
  }

  if (!unusable.empty()) {
    message = OneLine(unusable);
    return nullptr;
  }
  std::string names;
  for (const std::string_view name : kFileNames) {
    if (!names.empty()) names += ", ";
    names += name;
  }
  const std::string where = home_folder.empty() ? " im Suchpfad (ORACLE_HOME ist nicht gesetzt)"
                                                : " im Suchpfad und in " + home_folder;
  message = OneLine("Oracle-Client-Bibliothek nicht geladen; versucht: " + names + where +
                    "; Grund: " + (home_reason.empty() ? first_reason : home_reason));
  return nullptr;
}

}  // namespace kolvadex::db::oracle
