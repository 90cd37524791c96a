// Reading the payload: the launcher's own executable opened as the package,
// and one entry's name with the paths derived from it. Extraction and removal
// both go through these, so the file that removal deletes is always the file
// that extraction wrote.
#ifndef PACKAGE_ENTRY_H
#define PACKAGE_ENTRY_H

#include <windows.h>
#include "launcher/globals.h"
#include "launcher/status.h"
#include "package/header.h"
#include "package/stream.h"

enum { ENTRY_NAME_BUFFER_SIZE = ENTRY_NAME_MAX + 1 };

struct EntryPaths {
    char dirPart[ENTRY_NAME_BUFFER_SIZE];        // up to and including the last backslash
    char entryFileName[ENTRY_NAME_BUFFER_SIZE];  // after the last backslash
    const char *relativeDir;                     // inside dirPart, after the source prefix
    char destinationPath[PATH_BUFFER_SIZE];      // base + relativeDir + entryFileName
};

// Opens the executable of `module` for reading, others may read it but not
// write, rename or delete it; INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenPackageFile(HINSTANCE module);

// A stream over packageFile at the first entry, once the file's length is
// tested against payloadOffset and, when `wholePackage` is set, against
// packageLength. EXTRACT_OK or EXTRACT_BAD_PACKAGE_SIZE.
ExtractStatus OpenPayload(const PackageInfo *info, int wholePackage, FileStream *package, unsigned char *buffer,
                          DWORD capacity);

// Reads nameLength and name, descrambles the name and derives its paths below
// workingDir. EXTRACT_OK, EXTRACT_ENTRY_READ_FAILED, or EXTRACT_BAD_ENTRY for
// a length outside 1..260 or a name that DeriveEntryPaths refuses.
ExtractStatus ReadEntryName(FileStream *package, const char *sourcePrefix, EntryPaths *entry);

// Reads dosDateTime and size. EXTRACT_OK, EXTRACT_ENTRY_READ_FAILED, or
// EXTRACT_BAD_ENTRY for a size of 0 or less.
ExtractStatus ReadEntryTail(FileStream *package, DWORD *dosDateTime, int *size);

// Splits a descrambled name, cuts the source prefix and forms the destination
// below `base` (which ends in a backslash). 0 when the name is refused: a
// directory part shorter than the prefix, a destination longer than 259
// bytes, or a part below `base` that package/names.h refuses: one that could
// lead out of it, name a device or hold a control character.
int DeriveEntryPaths(const char *name, const char *sourcePrefix, const char *base, EntryPaths *entry);

#endif
