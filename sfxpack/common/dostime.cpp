// MS-DOS (FAT) date and time stamps: local time, 2-second resolution.
#include "sfxpack/common/dostime.h"

#include <cstdio>
#include <ctime>

namespace sfxpack {

namespace {

const uint32_t DOS_EARLIEST = (1u << 5 | 1u);                                          // 1980-01-01 00:00:00
const uint32_t DOS_LATEST = (127u << 9 | 12u << 5 | 31u) | (23u << 11 | 59u << 5 | 29u) << 16;  // 2107-12-31 23:59:58

}  // namespace

uint32_t DosDateTimeFromUnix(int64_t unixTime)
{
    std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm local;
#ifdef _WIN32
    // localtime_s refuses times before 1970; those clamp to 1980 anyway.
    if (unixTime < 0 || static_cast<int64_t>(t) != unixTime || localtime_s(&local, &t) != 0)
        return unixTime < 0 ? DOS_EARLIEST : DOS_LATEST;
#else
    if (static_cast<int64_t>(t) != unixTime || !localtime_r(&t, &local))
        return unixTime < 0 ? DOS_EARLIEST : DOS_LATEST;
#endif
    int year = local.tm_year + 1900;
    if (year < 1980)
        return DOS_EARLIEST;
    if (year > 2107)
        return DOS_LATEST;
    uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(local.tm_mon + 1) << 5 | uint32_t(local.tm_mday);
    // A leap second (60) would not fit in five bits of halves; it rounds down to 58.
    int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    uint32_t time = uint32_t(local.tm_hour) << 11 | uint32_t(local.tm_min) << 5 | uint32_t(second / 2);
    return date | time << 16;
}

std::string FormatDosDateTime(uint32_t dosDateTime)
{
    unsigned date = dosDateTime & 0xFFFF, time = dosDateTime >> 16;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9), (date >> 5) & 15,
                  date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
    return text;
}

}  // namespace sfxpack
