#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kolvadex::testing {
namespace {

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::vector<std::string> WithWrapper(const std::vector<std::string>& args) {
  const char* wrapper = std::getenv("KOLVADEX_TEST_WRAPPER");
  if (wrapper == nullptr || *wrapper == '\0') return args;
  std::vector<std::string> wrapped;
  std::istringstream words(wrapper);
  for (std::string word; words >> word;) wrapped.push_back(word);
  wrapped.insert(wrapped.end(), args.begin(), args.end());
  return wrapped;
}

std::string ResolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return name;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& plain_args, const ProcessOptions& options) {
  std::vector<std::string> args = options.allow_wrapper ? WithWrapper(plain_args) : plain_args;
  args[0] = ResolveProgram(args[0]);
  int in_pipe[2];
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::signal(SIGPIPE, SIG_IGN);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (options.output_path == kClosedOutput) {
      close(1);
    } else if (!options.output_path.empty()) {
      const int fd = open(options.output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(125);
      dup2(fd, 1);
      close(fd);
    }
    for (const int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
      close(fd);
    }
    if (!options.working_dir.empty() && chdir(options.working_dir.c_str()) != 0) _exit(126);
    if (options.unprivileged && geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(124);
    }
    for (const std::string& entry : options.env) putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  SetNonBlocking(in_pipe[1]);
  SetNonBlocking(out_pipe[0]);
  SetNonBlocking(err_pipe[0]);

  ProcessResult result;
  std::size_t written = 0;
  int in_fd = in_pipe[1];
  if (options.input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  bool out_open = true;
  bool err_open = true;
  const auto started = std::chrono::steady_clock::now();
  bool killed = false;
  while (out_open || err_open) {
    pollfd fds[3] = {{out_open ? out_pipe[0] : -1, POLLIN, 0},
                     {err_open ? err_pipe[0] : -1, POLLIN, 0},
                     {in_fd, POLLOUT, 0}};
    int timeout = -1;
    if (options.kill_after_ms >= 0 && !killed) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - started);
      timeout = std::max(0, options.kill_after_ms - static_cast<int>(elapsed.count()));
      if (timeout == 0) {
        kill(pid, SIGKILL);
        killed = true;
        timeout = -1;
      }
    }
    if (poll(fds, 3, timeout) < 0 && errno != EINTR) break;
    char buffer[65536];
    const auto drain = [&](int fd, bool& open, std::string& into) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        open = false;
      }
    };
    if (out_open && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) drain(out_pipe[0], out_open, result.out);
    if (err_open && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) drain(err_pipe[0], err_open, result.err);
    if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = write(in_fd, options.input.data() + written, options.input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN) written = options.input.size();
      if (written >= options.input.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace kolvadex::testing
