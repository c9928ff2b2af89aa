#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/atomic_file.h"

namespace kolvadex::platform {
namespace {

struct FreeDeleter {
  void operator()(char* p) const noexcept { std::free(p); }
};

// The file a symbolic link names; `path` itself otherwise (or when the link
// leads nowhere).
std::string FollowLink(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  const std::unique_ptr<char, FreeDeleter> resolved(realpath(path.c_str(), nullptr));
  return resolved ? std::string(resolved.get()) : path;
}

// Folder and name of `path`; the folder is "." for a bare name.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Makes the directory entry of a moved file durable. Some file systems cannot
// sync a folder; the file is in place either way.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Moves `temp` to `target` unless `target` exists. A hard link fails when the
// name is taken, in one step; where the file system has no hard links, the
// check and the move are two steps.
int MoveIfAbsent(const std::string& temp, const std::string& target) {
  if (link(temp.c_str(), target.c_str()) == 0) {
    unlink(temp.c_str());
    return 0;
  }
  const int error = errno;
  if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != ENOSYS) return error;
  struct stat info {};
  if (lstat(target.c_str(), &info) == 0) return EEXIST;
  return rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
}

}  // namespace

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view content,
                                      ExistingFile existing) {
  AtomicWriteResult result;
  const std::string target = FollowLink(path);
  const auto [folder, name] = SplitPath(target);
  std::string pattern = folder + "/." + name + ".XXXXXX";
  std::vector<char> temp_name(pattern.begin(), pattern.end());
  temp_name.push_back('\0');

  // mkstemp makes the file for the owner alone (0600) and fails rather than
  // open an existing one.
  const int fd = mkstemp(temp_name.data());
  if (fd < 0) {
    result.error_number = errno;
    return result;
  }
  const std::string temp(temp_name.data());
  const auto fail = [&](int error) {
    unlink(temp.c_str());
    result.error_number = error;
    return result;
  };
  // The replaced file's owner and group stay (a credential file edited by an
  // administrator stays readable for the batch user that owns it). Only a
  // privileged user may give a file away; otherwise it stays with its maker.
  mode_t mode = S_IRUSR | S_IWUSR;
  struct stat old_file {};
  if (existing != ExistingFile::kKeep && stat(target.c_str(), &old_file) == 0 &&
      S_ISREG(old_file.st_mode)) {
    if (fchown(fd, old_file.st_uid, old_file.st_gid) != 0) {
      // Not allowed: the file belongs to whoever writes it, as any new file.
    }
    if (existing == ExistingFile::kReplaceKeepingMode) mode = old_file.st_mode & 0777U;
  }
  if (fchmod(fd, mode) != 0 || !WriteAll(fd, content) || fsync(fd) != 0) {
    const int error = errno;
    close(fd);
    return fail(error);
  }
  if (close(fd) != 0) return fail(errno);

  if (existing != ExistingFile::kKeep) {
    if (rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
  } else if (const int error = MoveIfAbsent(temp, target); error != 0) {
    if (error != EEXIST) return fail(error);
    unlink(temp.c_str());
    result.outcome = AtomicWriteResult::Outcome::kExists;
    return result;
  }
  SyncFolder(folder);
  result.outcome = AtomicWriteResult::Outcome::kWritten;
  return result;
}

std::string ErrorText(int error_number) { return std::strerror(error_number); }

}  // namespace kolvadex::platform
