// Secrets in memory: wiping that the compiler may not drop, and a text that
// wipes itself when it goes away.
//
// SecureWipe overwrites a byte range with zeros through a call the optimiser
// must keep. Secret holds a text (a password, a deciphered value) and wipes its
// whole storage when it is destroyed or reassigned.
#ifndef KOLVADEX_COMMON_SECRET_H_
#define KOLVADEX_COMMON_SECRET_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace kolvadex {

void SecureWipe(void* data, std::size_t size) noexcept;

// Wipes the whole storage of `text` (its capacity, not only its length) and
// leaves it empty.
void SecureWipe(std::string& text) noexcept;

class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string text) noexcept : text_(std::move(text)) {}
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  Secret(Secret&& other) noexcept : text_(std::move(other.text_)) { SecureWipe(other.text_); }
  Secret& operator=(Secret&& other) noexcept {
    if (this != &other) {
      SecureWipe(text_);
      text_ = std::move(other.text_);
      SecureWipe(other.text_);
    }
    return *this;
  }
  ~Secret() { SecureWipe(text_); }

  [[nodiscard]] std::string_view view() const noexcept { return text_; }
  [[nodiscard]] bool empty() const noexcept { return text_.empty(); }
  [[nodiscard]] std::size_t size() const noexcept { return text_.size(); }

 private:
  std::string text_;
};

}  // namespace kolvadex

#endif  // KOLVADEX_COMMON_SECRET_H_
