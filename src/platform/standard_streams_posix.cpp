#include <fcntl.h>
#include <unistd.h>

#include "platform/standard_streams.h"

namespace kolvadex::platform {

void EnsureStandardStreams() noexcept {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

}  // namespace kolvadex::platform
