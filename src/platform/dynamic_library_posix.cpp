#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/dynamic_library.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

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

std::string ExecutableDirectory() {
  std::string path;
#if defined(__APPLE__)
  char buffer[4096];
  std::uint32_t size = sizeof buffer;
  if (_NSGetExecutablePath(buffer, &size) == 0) path = buffer;
#else
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length > 0 && static_cast<std::size_t>(length) < sizeof buffer) {
    path.assign(buffer, static_cast<std::size_t>(length));
  }
#endif
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

char PathSeparator() { return '/'; }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace kolvadex::platform
