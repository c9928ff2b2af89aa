// Replacing a file's whole content so that readers see either the old file or
// the new one, never a part. The only place that knows how the platform does
// it; one implementation file per platform.
//
// WriteFileAtomically writes `content` to a new temporary file in the folder
// of `path`, flushes it to the disk and moves it to `path` in one step. When
// `path` is a symbolic link, the file it points to is replaced.
// - kKeep: an existing `path` is kept (outcome kExists); the check and the
//   move are one step, so that a file made meanwhile by someone else is kept
//   as well. The new file is readable and writable by its owner only.
// - kReplace: an existing file is replaced; the new file is readable and
//   writable by its owner only, and keeps the replaced file's owner and group
//   where the system allows it.
// - kReplaceKeepingMode: as kReplace, but the new file also keeps the replaced
//   file's permissions (a new file gets owner-only ones).
// On failure `path` is as it was and the temporary file is gone.
#ifndef KOLVADEX_PLATFORM_ATOMIC_FILE_H_
#define KOLVADEX_PLATFORM_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace kolvadex::platform {

enum class ExistingFile { kKeep, kReplace, kReplaceKeepingMode };

struct AtomicWriteResult {
  enum class Outcome {
    kWritten,
    kExists,  // `path` exists and was kept
    kFailed,  // the system refused a step; `error_number` says why
  };
  Outcome outcome = Outcome::kFailed;
  int error_number = 0;
};

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view content,
                                      ExistingFile existing);

// The system's text for an error number.
std::string ErrorText(int error_number);

}  // namespace kolvadex::platform

#endif  // KOLVADEX_PLATFORM_ATOMIC_FILE_H_
