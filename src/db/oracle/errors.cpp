#include "db/oracle/errors.h"

#include <array>

#include "db/session.h"

namespace kolvadex::db::oracle {

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

int StatusFromCall(const oci::Api& api, oci::sword result, void* handle, oci::ub4 handle_type,
                   std::string& message) {
  if (result == oci::OCI_SUCCESS || result == oci::OCI_SUCCESS_WITH_INFO) return 0;
  // "No data found": the precompiler runtime's +1403, a success all the same.
  if (result == oci::OCI_NO_DATA) return kStatusNoRowsProcessed;
  if (result != oci::OCI_ERROR) {
    message = result == oci::OCI_INVALID_HANDLE
                  ? "Oracle-Client meldet ein ungueltiges Handle"
                  : "Oracle-Client meldet das unerwartete Ergebnis " + std::to_string(result);
    return kStatusClientFailure;
  }
  // The first record holds the error; the texts of all records together tell
  // the whole story (for example an error raised inside recursive SQL).
  oci::sb4 first_code = 0;
  std::string text;
  if (handle != nullptr) {
    std::array<oci::OraText, oci::kErrorTextSize> buffer{};
    for (oci::ub4 record = 1; record <= 8; ++record) {
      oci::sb4 code = 0;
      buffer[0] = 0;
      if (api.ErrorGet(handle, record, nullptr, &code, buffer.data(), oci::kErrorTextSize,
                       handle_type) != oci::OCI_SUCCESS) {
        break;
      }
      buffer.back() = 0;
      if (first_code == 0) first_code = code;
      const std::string record_text = OneLine(reinterpret_cast<const char*>(buffer.data()));
      if (record_text.empty()) continue;
      if (!text.empty()) text += ' ';
      text += record_text;
    }
  }
  if (first_code <= 0) {
    message = text.empty() ? "Oracle-Client meldet einen Fehler ohne Fehlernummer" : text;
    return kStatusClientFailure;
  }
  message = text;
  return -first_code;
}

}  // namespace kolvadex::db::oracle
