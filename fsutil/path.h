// Path strings in the ANSI code page, walked character by character so that
// the trail byte of a double-byte character is never taken for a separator.
#ifndef FSUTIL_PATH_H
#define FSUTIL_PATH_H

// dirPart gets everything up to and including the last separator (empty when
// there is none), lastPart the rest. Each output needs lstrlen(input) + 1 bytes.
void SplitAtLastSeparator(const char *input, char *dirPart, char *lastPart, char separator);

// Byte offset of the n-th separator (n from 1), or 0 when there is none.
int FindNthSeparator(const char *path, char separator, int n);

// Needs room for one more byte.
void AppendTrailingBackslash(char *path);
void StripTrailingBackslash(char *path);

// 1 when the last character is the single-byte character `c`.
int EndsWithChar(const char *path, char c);

#endif
