#include "package/extract.h"
#include "fsutil/dirchain.h"
#include "fsutil/error_number.h"
#include "launcher/globals.h"
#include "launcher/setup_program.h"
#include "package/entry.h"
#include "package/header.h"
#include "package/integrity.h"
#include "package/stream.h"
#include "resources/resource.h"
#include "ui/password.h"
#include "ui/progress.h"
#include "ui/report.h"

// Static, not on the stack: the launcher has no stack probes, and a frame of
// more than a page could step over the guard page.
static unsigned char packageBuffer[65536];
static unsigned char outputBuffer[65536];
static unsigned char blockBuffer[DATA_BLOCK_SIZE];
static EntryPaths entry;
// Zero-filled, which IsStreamOpen reads as closed. At file scope so that
// AbandonExtraction can close it from the end-of-session handler.
static FileStream outputFile;
// The directory of the entry before, made already: entries of one folder
// follow each other, and making it again would cost calls for nothing. When
// a file cannot be opened in it, it is made again (see OpenDestination), so
// that the result is that of making it for every entry.
static char madeDir[ENTRY_NAME_BUFFER_SIZE];
// When the copy loop last handled the window messages waiting, by GetTickCount.
static DWORD lastDrain;

void AbandonExtraction()
{
    CloseStream(&outputFile);
}

// Messages 5 and 6, over the progress window.
static void ReportFileFailure(UINT id, int errorNumber)
{
    ReportString(progressWindow, MB_OK, id, entry.destinationPath, errorNumber);
}

static int SameBytes(const char *a, const char *b)
{
    while (*a && *a == *b)
        a++, b++;
    return *a == *b;
}

static int Percent(int blocks)
{
    return totalBlocks > 0 ? blocks * 100 / totalBlocks : 0;
}

// Set through the handle that wrote the file, after the last write: a time
// set explicitly is kept when the handle is closed, and opening the file a
// second time would cost as much as writing a small one.
static void SetTimeStamp(HANDLE file, DWORD dosDateTime)
{
    FILETIME local, utc;
    // A date or time that does not convert leaves the time of writing.
    if (DosDateTimeToFileTime(LOWORD(dosDateTime), HIWORD(dosDateTime), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file, &utc, &utc, &utc);
}

// Copies one entry's data block by block. The caller closes both files on
// failure.
static ExtractStatus CopyData(FileStream *package, int size)
{
    fileStartPercent = Percent(blocksDone);
    fileEndPercent = Percent(blocksDone + EntryBlockCount(size));
    while (size > 0) {
        DWORD length = size < DATA_BLOCK_SIZE ? size : DATA_BLOCK_SIZE;
        if (!ReadStream(package, blockBuffer, length))
            return EXTRACT_DATA_READ_FAILED;
        if (!WriteStream(&outputFile, blockBuffer, length))
            return EXTRACT_DATA_WRITE_FAILED;
        size -= length;
        blocksDone++;
        UpdateProgress(0);
        // A look at the queue costs a round trip to the server under Wine:
        // done at most every 10 ms of copying, and after the entry's last
        // block, so that the window still answers at once and the end of the
        // session is seen before the next entry is begun.
        DWORD now = GetTickCount();
        if (size == 0 || now - lastDrain >= 10) {
            lastDrain = now;
            DrainMessages();
            if (sessionEnded)
                return EXTRACT_DECLINED;
        }
    }
    return EXTRACT_OK;
}

// Creates or truncates the destination and opens it for writing, others may
// read but not write: in one step when that succeeds. Only when it fails is
// the file created empty with write sharing on its own, as a separate step
// would have done first; that tells a file that cannot be created (message
// 5, with its error number) from one that cannot be opened for writing
// (message 6). Two opens for every file would cost as much as writing a
// small one.
static ExtractStatus OpenDestination(int chainMade)
{
    if (OpenWriteStream(&outputFile, entry.destinationPath, outputBuffer, sizeof outputBuffer))
        return EXTRACT_OK;
    // A folder made for an earlier entry may have been removed since by
    // another program: made again, as for every entry, and tried once more.
    if (!chainMade) {
        if (!CreateDirectoryChain(workingDir, entry.relativeDir))
            return EXTRACT_CANNOT_CREATE_DIR;
        if (OpenWriteStream(&outputFile, entry.destinationPath, outputBuffer, sizeof outputBuffer))
            return EXTRACT_OK;
    }
    HANDLE created = CreateFileA(entry.destinationPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (created == INVALID_HANDLE_VALUE) {
        int errorNumber = ErrorNumber(GetLastError());
        ReportFileFailure(IDS_CANNOT_CREATE_FILE, errorNumber);
        return EXTRACT_CANNOT_CREATE_FILE;
    }
    CloseHandle(created);
    ReportFileFailure(IDS_CANNOT_OPEN_FILE, 0);
    return EXTRACT_CANNOT_CREATE_FILE;
}

static ExtractStatus ExtractEntry(FileStream *package, const PackageInfo *info)
{
    package->crc = 0;
    ExtractStatus status = ReadEntryName(package, info->sourcePrefix, &entry);
    if (status != EXTRACT_OK)
        return status;
    int chainMade = !SameBytes(entry.relativeDir, madeDir);
    if (chainMade) {
        if (!CreateDirectoryChain(workingDir, entry.relativeDir))
            return EXTRACT_CANNOT_CREATE_DIR;
        lstrcpynA(madeDir, entry.relativeDir, sizeof madeDir);
    }

    status = OpenDestination(chainMade);
    if (status != EXTRACT_OK)
        return status;

    DWORD dosDateTime;
    int size;
    status = ReadEntryTail(package, &dosDateTime, &size);
    if (status == EXTRACT_OK)
        status = CopyData(package, size);
    // What the buffer holds is written out on every path where writing has
    // not failed yet: a failed entry keeps every block it got, a full disk
    // never passes for a complete file, and a write that fails is the
    // failure named, as it would have been without the buffer. After the end
    // of the session the file is closed and the buffer empty.
    if (status != EXTRACT_DATA_WRITE_FAILED && !FlushStream(&outputFile))
        status = EXTRACT_DATA_WRITE_FAILED;
    // A damaged entry ends the run before it gets its time stamp or the next
    // entry is read; the removal pass then deletes it.
    if (status == EXTRACT_OK && package->summing && !NextEntryCrcMatches(package->crc))
        status = EXTRACT_DATA_READ_FAILED;
    if (status != EXTRACT_OK)
        return status;
    SetTimeStamp(outputFile.handle, dosDateTime);
    CloseStream(&outputFile);
    UpdateProgress(100);
    return EXTRACT_OK;
}

// The install question and the password, in this order. A session that ends
// while either is open has already had everything removed.
static ExtractStatus PassGates(const PackageInfo *info)
{
    if (info->productTitle[0] != '\0' && !silentMode) {
        int answer = ReportString(GetMessageOwner(), MB_YESNO, IDS_CONFIRM_INSTALL, info->productTitle);
        if (answer == IDNO || sessionEnded)
            return EXTRACT_DECLINED;
    }
    if (storedPassword[0] != '\0') {
        int accepted = CheckPassword();
        if (sessionEnded)
            return EXTRACT_DECLINED;
        if (!accepted)
            return EXTRACT_WRONG_PASSWORD;
    }
    return EXTRACT_OK;
}

static void ShowProgressWindow()
{
    ShowWindow(progressWindow, SW_SHOWNORMAL);
    UpdateWindow(progressWindow);
}

ExtractStatus ExtractPackage(HINSTANCE module, DWORD *systemCode)
{
    *systemCode = 0;
    PackageInfo info;
    ExtractStatus status = LoadPackageHeader(module, &info);
    if (status != EXTRACT_OK)
        return status;
    // The header is checked against the record before any of it is shown or
    // asked for: a damaged title, password or setup command ends the run
    // without a question.
    int summing;
    status = OpenIntegrityRecord(&info, &summing);
    if (status != EXTRACT_OK)
        return status;
    status = PassGates(&info);
    if (status != EXTRACT_OK)
        return status;
    if (!silentMode)
        ShowProgressWindow();

    FileStream package;
    status = OpenPayload(&info, 1, &package, packageBuffer, sizeof packageBuffer);
    if (status != EXTRACT_OK)
        return status;
    package.summing = summing;
    blocksDone = 0;
    madeDir[0] = '\0';
    for (int i = 0; i < info.entryCount; i++) {
        status = ExtractEntry(&package, &info);
        if (status != EXTRACT_OK) {
            if (status == EXTRACT_DATA_WRITE_FAILED)
                *systemCode = outputFile.writeError;
            CloseStream(&outputFile);
            return status;
        }
    }

    if (!silentMode) {
        ShowProgressWindow();
        UpdateWindow(progressBar);
    }
    if (info.setupCommand[0] != '\0')
        *systemCode = RunSetupProgram(info.setupCommand);
    return EXTRACT_OK;
}
