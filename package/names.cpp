#include "package/names.h"

int IsLeadByte(const unsigned char *leadByteRanges, unsigned char byte)
{
    for (const unsigned char *range = leadByteRanges; range[0] != 0 || range[1] != 0; range += 2)
        if (byte >= range[0] && byte <= range[1])
            return 1;
    return 0;
}

int ClimbsUp(const char *start, const char *end)
{
    int dots = 0;
    for (const char *c = start; c < end; c++) {
        if (*c == '.')
            dots++;
        else if (*c != ' ')
            return 0;
    }
    return dots >= 2;
}

static char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

// A device name opens the device in any directory, with any extension, and
// with blanks before the extension. B9, B2 and B3 are the superscript digits
// one to three of code page 1252, which Windows takes for device numbers
// too; in other code pages the same bytes are refused as well, which costs
// only names such as a half-width katakana after "COM".
int NamesDevice(const char *start, const char *end)
{
    static const char *const devices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",   "COM4",    "COM5",     "COM6",     "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5",   "LPT6",    "LPT7",     "LPT8",     "LPT9",
        "CONIN$", "CONOUT$", "COM\xB9", "COM\xB2", "COM\xB3", "LPT\xB9", "LPT\xB2", "LPT\xB3"};
    const char *stem = start;
    while (stem < end && *stem != '.')
        stem++;
    while (stem > start && stem[-1] == ' ')
        stem--;
    for (const char *device : devices) {
        const char *c = start;
        const char *d = device;
        while (c < stem && *d && AsciiUpper(*c) == *d)
            c++, d++;
        if (c == stem && !*d)
            return 1;
    }
    return 0;
}

NameFault FindNameFault(const char *tail, const unsigned char *leadByteRanges, int emptyComponentsRefused)
{
    if (*tail == '\\' || *tail == '/')
        return NAME_LEADING_SEPARATOR;
    const char *start = tail;
    for (const char *c = tail;;) {
        if (*c == '\0' || *c == '\\') {
            if (emptyComponentsRefused && c == start)
                return NAME_EMPTY_COMPONENT;
            if (ClimbsUp(start, c))
                return NAME_CLIMBS_UP;
            if (NamesDevice(start, c))
                return NAME_DEVICE;
            // The ending is a single-byte character: no trail byte is a dot
            // or a blank.
            if (c > start && (c[-1] == '.' || c[-1] == ' '))
                return NAME_DROPPED_ENDING;
            if (*c == '\0')
                return NAME_ACCEPTED;
            start = ++c;
            continue;
        }
        if (static_cast<unsigned char>(*c) < 32)
            return NAME_CONTROL_CHARACTER;
        if (*c == ':')
            return NAME_COLON;
        if (*c == '/')
            return NAME_SLASH;
        // A trail byte is part of its character: never a separator, a colon
        // or a control character. A lead byte before the end stands alone.
        c += IsLeadByte(leadByteRanges, static_cast<unsigned char>(*c)) && c[1] != '\0' ? 2 : 1;
    }
}
