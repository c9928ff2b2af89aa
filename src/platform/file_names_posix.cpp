#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <memory>

#include "platform/file_names.h"

namespace kolvadex::platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const noexcept { closedir(dir); }
};

}  // namespace

std::string FindInWorkingDirectory(const std::string& name) {
  struct stat info {};
  if (stat(name.c_str(), &info) == 0) return name;
  const std::unique_ptr<DIR, DirCloser> dir(opendir("."));
  if (!dir) return name;
  while (const dirent* entry = readdir(dir.get())) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) return entry->d_name;
  }
  return name;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

}  // namespace kolvadex::platform
