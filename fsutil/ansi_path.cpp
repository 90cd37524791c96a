#include "fsutil/ansi_path.h"
#include "launcher/globals.h"

// 1 when `wide` fits `out` with no character replaced. A name the code page
// lacks would otherwise become '?' (or its best fit, another name), and no
// file can be made below such a path.
static int ConvertsWhole(const WCHAR *wide, char *out, int size)
{
    // A UTF-8 ANSI code page holds every character, and its conversion takes
    // neither the best-fit flag nor the lost-character flag; only a lone
    // surrogate, written as U+FFFD unless refused, would change the name.
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, out, size, NULL, NULL) != 0;
    BOOL lost = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, size, NULL, &lost) != 0 && !lost;
}

int MakeAnsiPath(const WCHAR *wide, char *out, int size)
{
    if (ConvertsWhole(wide, out, size))
        return 1;
    // The 8.3 names that the file system keeps beside long ones hold only
    // characters of the code page. A volume without them gives the long
    // path back, which fails again below.
    WCHAR shortPath[PATH_BUFFER_SIZE];
    DWORD length = GetShortPathNameW(wide, shortPath, PATH_BUFFER_SIZE);
    if (length != 0 && length < PATH_BUFFER_SIZE && ConvertsWhole(shortPath, out, size))
        return 1;
    out[0] = '\0';
    return 0;
}
