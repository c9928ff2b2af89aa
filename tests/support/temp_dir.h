// A fresh folder for one test, removed with everything in it afterwards.
#ifndef KOLVADEX_TESTS_SUPPORT_TEMP_DIR_H_
#define KOLVADEX_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>

namespace kolvadex::testing {

class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  [[nodiscard]] const std::string& path() const { return path_; }
  // path() + "/" + name
  [[nodiscard]] std::string File(const std::string& name) const;
  // Writes `content` to File(name), bytes as given.
  void Write(const std::string& name, const std::string& content) const;
  // Lets every user into the folder and write its files (for a child process
  // run as another user).
  void OpenToEveryone() const;

 private:
  std::string path_;
};

}  // namespace kolvadex::testing

#endif  // KOLVADEX_TESTS_SUPPORT_TEMP_DIR_H_
