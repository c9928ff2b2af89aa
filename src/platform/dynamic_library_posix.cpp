#include <dlfcn.h>

#include <cstdlib>
#include <utility>

#include "platform/dynamic_library.h"

namespace kolvadex::platform {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() { Close(); }

bool DynamicLibrary::Open(const std::string& name, std::string& error) {
  Close();
  // Functions are bound when first called, as for a library linked at build
  // time. Binding them all at once would resolve every function of the
  // library and of all it depends on (libpq: 25 libraries, 2 million
  // instructions); a run calls a few dozen. A missing library or data symbol
  // still fails here; a missing function, which a consistent installation
  // does not have, would end the process when it is called.
  handle_ = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unbekannter Fehler";
    return false;
  }
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

void DynamicLibrary::Close() noexcept {
  if (handle_ != nullptr) dlclose(std::exchange(handle_, nullptr));
}

char PathSeparator() { return '/'; }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace kolvadex::platform
