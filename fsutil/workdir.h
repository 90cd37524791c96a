// Choosing and creating the fresh "~EXB" working directory.
#ifndef FSUTIL_WORKDIR_H
#define FSUTIL_WORKDIR_H

#include <windows.h>

// Fills `dir` (128 bytes) and sets ownsWorkingDir; 0 when no base was
// accepted. A base is accepted on a drive with at least `needed` bytes free.
int ChooseWorkingDir(char *dir, ULONGLONG needed);
int TryWorkingDirBase(const char *base, char *dir, ULONGLONG needed);
// Free bytes of the drive of `root` ("C:\"), 0 when unknown.
ULONGLONG GetFreeBytes(const char *root);

#endif
