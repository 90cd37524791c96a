// Paths that the system gives in Unicode (TEMP, the Windows directory, the
// launcher's own file), made usable by the launcher's ANSI calls.
#ifndef FSUTIL_ANSI_PATH_H
#define FSUTIL_ANSI_PATH_H

#include <windows.h>

// Sets `out` (`size` bytes) to `wide` in the ANSI code page when every
// character converts as it is, otherwise to the short form of `wide` when
// that does. 0 when neither fits `out` whole: never a path in which a
// character was replaced.
int MakeAnsiPath(const WCHAR *wide, char *out, int size);

#endif
