#include "common/secret.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kolvadex {

void SecureWipe(void* data, std::size_t size) noexcept {
  if (data == nullptr || size == 0) return;
#if defined(_WIN32)
  SecureZeroMemory(data, size);
#elif defined(__GLIBC__) || defined(__OpenBSD__) || defined(__FreeBSD__)
  explicit_bzero(data, size);
#else
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
  while (size-- != 0) *bytes++ = 0;
#endif
}

void SecureWipe(std::string& text) noexcept {
  // Short texts live inside the object itself; resizing to the capacity makes
  // every byte of the storage, the inline one included, addressable.
  text.resize(text.capacity());
  SecureWipe(text.data(), text.size());
  text.clear();
}

}  // namespace kolvadex
