// Path strings in the ANSI code page, walked character by character so that
// the trail byte of a double-byte character is never taken for a separator.
// The code page is the ANSI one; tests name another to check double-byte text
// whatever code page the process runs in.
#ifndef FSUTIL_PATH_H
#define FSUTIL_PATH_H

#include <windows.h>

// dirPart gets everything up to and including the last separator (empty when
// there is none), lastPart the rest. Each output needs lstrlen(input) + 1 bytes.
void SplitAtLastSeparator(const char *input, char *dirPart, char *lastPart, char separator,
                          UINT codePage = CP_ACP);

// Byte offset of the n-th separator (n from 1), or 0 when there is none.
int FindNthSeparator(const char *path, char separator, int n, UINT codePage = CP_ACP);

// Needs room for one more byte.
void AppendTrailingBackslash(char *path, UINT codePage = CP_ACP);
void StripTrailingBackslash(char *path, UINT codePage = CP_ACP);

// 1 when the last character is the single-byte character `c`.
int EndsWithChar(const char *path, char c, UINT codePage = CP_ACP);

#endif
