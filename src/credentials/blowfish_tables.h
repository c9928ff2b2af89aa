// The Blowfish key schedule's starting values: the hexadecimal digits of the
// fraction of pi (P-array first, then S-boxes S1 to S4). Generated once by
// tools/gen_blowfish_tables.py.
#ifndef KOLVADEX_CREDENTIALS_BLOWFISH_TABLES_H_
#define KOLVADEX_CREDENTIALS_BLOWFISH_TABLES_H_

#include <array>
#include <cstdint>

namespace kolvadex::credentials {

extern const std::array<std::uint32_t, 18> kInitialP;
extern const std::array<std::array<std::uint32_t, 256>, 4> kInitialS;

}  // namespace kolvadex::credentials

#endif  // KOLVADEX_CREDENTIALS_BLOWFISH_TABLES_H_
