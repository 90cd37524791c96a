#include "package/remove.h"
#include "fsutil/dirchain.h"
#include "launcher/globals.h"
#include "package/entry.h"
#include "package/header.h"
#include "package/stream.h"

// Apart from the extraction's buffers: removal runs from the end-of-session
// handler while an extraction is between two blocks.
static unsigned char packageBuffer[4096];
static EntryPaths entry;

// Deletes each entry's file and its emptied directories, in stored order,
// until an entry cannot be read.
static ExtractStatus WalkEntries(FileStream *package, const PackageInfo *info)
{
    for (int i = 0; i < info->entryCount; i++) {
        ExtractStatus status = ReadEntryName(package, info->sourcePrefix, &entry);
        if (status != EXTRACT_OK)
            return status;
        DeleteFileA(entry.destinationPath);
        RemoveDirectoryChain(workingDir, entry.relativeDir);
        DWORD dosDateTime;
        int size;
        status = ReadEntryTail(package, &dosDateTime, &size);
        if (status != EXTRACT_OK)
            return status;
        SkipStream(package, size);
    }
    return EXTRACT_OK;
}

// Deletes each entry's file and its emptied directories, then the owned
// working directory when nothing is left in it.
ExtractStatus RemoveExtractedFiles(HINSTANCE module)
{
    if (removalComplete)
        return EXTRACT_OK;
    PackageInfo info;
    ExtractStatus status = LoadPackageHeader(module, &info);
    if (status != EXTRACT_OK)
        return status;
    FileStream package;
    status = OpenPayload(&info, 0, &package, packageBuffer, sizeof packageBuffer);
    if (status == EXTRACT_OK)
        status = WalkEntries(&package, &info);
    // A walk that ends early leaves the entries it has not reached, and the
    // working directory with them; when the damage is where the extraction
    // stopped too, nothing is left and the directory goes.
    RemoveWorkingDir();
    return status;
}

// Once it is gone, every later call does nothing: another run may have made
// a directory of the same name by then.
void RemoveWorkingDir()
{
    // When the working directory cannot go yet (the setup program still runs
    // from it after the session has ended), its backslash is put back, so that
    // the walk after the program has ended forms the same paths and finishes.
    int length = lstrlenA(workingDir);
    if (!removalComplete && ownsWorkingDir && length > 0) {
        SetCurrentDirectoryA("c:\\");
        workingDir[length - 1] = '\0';
        if (RemoveDirectoryA(workingDir))
            removalComplete = 1;
        else
            workingDir[length - 1] = '\\';
    }
}
