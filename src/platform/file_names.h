// File names as the platform matches them.
#ifndef KOLVADEX_PLATFORM_FILE_NAMES_H_
#define KOLVADEX_PLATFORM_FILE_NAMES_H_

#include <string>

namespace kolvadex::platform {

// The name of the entry of the working directory that is called `name`, as
// Windows would find it: the exact name when it exists, otherwise the first
// entry whose name equals it without regard to ASCII case, otherwise `name`.
std::string FindInWorkingDirectory(const std::string& name);

// Whether `path` names an existing entry (a link counts by what it points to);
// false also when that cannot be found out.
bool FileExists(const std::string& path);

}  // namespace kolvadex::platform

#endif  // KOLVADEX_PLATFORM_FILE_NAMES_H_
