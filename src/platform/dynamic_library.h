// Loading shared libraries at run time, and the few process facts it needs.
// The only place that knows the platform's loader; one implementation file per
// platform.
#ifndef KOLVADEX_PLATFORM_DYNAMIC_LIBRARY_H_
#define KOLVADEX_PLATFORM_DYNAMIC_LIBRARY_H_

#include <string>

namespace kolvadex::platform {

// An open shared library; closed when the object goes away.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  ~DynamicLibrary();

  // Opens `name` (a bare name goes through the system's search path, a name
  // with a separator is taken as a path). On failure returns false and puts the
  // loader's reason into `error`.
  bool Open(const std::string& name, std::string& error);
  [[nodiscard]] bool is_open() const { return handle_ != nullptr; }
  // The address of an exported symbol, or nullptr.
  [[nodiscard]] void* Symbol(const char* name) const;
  void Close() noexcept;

 private:
  void* handle_ = nullptr;
};

// The platform's separator between folder and file names.
char PathSeparator();

// The value of an environment variable, or empty.
std::string Environment(const char* name);

}  // namespace kolvadex::platform

#endif  // KOLVADEX_PLATFORM_DYNAMIC_LIBRARY_H_
