#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace kolvadex::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kolvadex-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests take permissions away; give them back so that everything can go.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::OpenToEveryone() const {
  std::filesystem::permissions(path_, std::filesystem::perms::all);
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    std::filesystem::permissions(entry.path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_read | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_read | std::filesystem::perms::others_write);
  }
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

void TempDir::Write(const std::string& name, const std::string& content) const {
  std::ofstream file(File(name), std::ios::binary | std::ios::trunc);
  file << content;
  if (!file) throw std::runtime_error("cannot write " + File(name));
}

}  // namespace kolvadex::testing
