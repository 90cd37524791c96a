// The entries' MS-DOS time stamps.
#ifndef SFXPACK_COMMON_DOSTIME_H
#define SFXPACK_COMMON_DOSTIME_H

#include <cstdint>
#include <string>

namespace sfxpack {

// MS-DOS date (low 16 bits) and time (high 16 bits) of a Unix time, in the
// build machine's local time, clamped to 1980-01-01 .. 2107-12-31 23:59:58.
uint32_t DosDateTimeFromUnix(int64_t unixTime);
// "YYYY-MM-DD HH:MM:SS" from the stored bit fields, whether valid or not.
std::string FormatDosDateTime(uint32_t dosDateTime);

}  // namespace sfxpack

#endif
