// Standard streams of the process.
#ifndef KOLVADEX_PLATFORM_STANDARD_STREAMS_H_
#define KOLVADEX_PLATFORM_STANDARD_STREAMS_H_

namespace kolvadex::platform {

// Makes sure standard input, output and error are open, opening the null
// device for any that the caller closed. Otherwise the next file the tool
// opens could take the number of standard output, and console lines would be
// written into it.
void EnsureStandardStreams() noexcept;

}  // namespace kolvadex::platform

#endif  // KOLVADEX_PLATFORM_STANDARD_STREAMS_H_
