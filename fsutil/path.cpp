#include "fsutil/path.h"

static int IsLeadByte(char c, UINT codePage)
{
    return IsDBCSLeadByteEx(codePage, static_cast<BYTE>(c));
}

static const char *NextChar(const char *p, UINT codePage)
{
    return CharNextExA(static_cast<WORD>(codePage), p, 0);
}

// First byte of the last character of a non-empty path. A lone lead byte
// before the terminator is a character of its own, and a double-byte one.
static const char *LastChar(const char *path, UINT codePage)
{
    const char *last = path;
    for (const char *next = NextChar(last, codePage); *next; next = NextChar(next, codePage))
        last = next;
    return last;
}

// The search backwards stops before examining the first character unless the
// input is that one character, so "\A" has no separator.
void SplitAtLastSeparator(const char *input, char *dirPart, char *lastPart, char separator,
                          UINT codePage)
{
    dirPart[0] = '\0';
    lastPart[0] = '\0';
    if (!*input)
        return;
    const char *p = LastChar(input, codePage);
    for (;;) {
        if (!IsLeadByte(*p, codePage) && *p == separator) {
            int offset = static_cast<int>(p - input);
            lstrcpynA(dirPart, input, offset + 2);
            lstrcpyA(lastPart, p + 1);
            return;
        }
        if (p == input)
            break;
        p = CharPrevExA(static_cast<WORD>(codePage), input, p, 0);
        if (p == input)
            break;
    }
    lstrcpyA(lastPart, input);
}

// Callers stop at 0, so a separator at offset 0 reads as none.
int FindNthSeparator(const char *path, char separator, int n, UINT codePage)
{
    int count = 0;
    if (n <= 0)
        return 0;
    for (const char *p = path; *p; p = NextChar(p, codePage)) {
        if (!IsLeadByte(*p, codePage) && *p == separator && ++count == n)
            return static_cast<int>(p - path);
    }
    return 0;
}

int EndsWithChar(const char *path, char c, UINT codePage)
{
    if (!*path)
        return 0;
    const char *last = LastChar(path, codePage);
    return !IsLeadByte(*last, codePage) && *last == c;
}

void AppendTrailingBackslash(char *path, UINT codePage)
{
    if (!*path || EndsWithChar(path, '\\', codePage))
        return;
    int length = lstrlenA(path);
    path[length] = '\\';
    path[length + 1] = '\0';
}

void StripTrailingBackslash(char *path, UINT codePage)
{
    if (EndsWithChar(path, '\\', codePage))
        path[lstrlenA(path) - 1] = '\0';
}
