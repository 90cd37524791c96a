// WinMain: the whole run, top to bottom, on one thread.
#include <windows.h>
#include "launcher/exit_code.h"
#include "launcher/globals.h"
#include "launcher/status.h"
#include "launcher/switches.h"
#include "fsutil/workdir.h"
#include "package/entry.h"
#include "package/entry_stream.h"
#include "package/extract.h"
#include "package/remove.h"
#include "resources/resource.h"
#include "ui/progress.h"
#include "ui/report.h"

static void CloseRun(ExtractStatus status)
{
    // A session that ended while a message was open has had everything
    // removed and the window destroyed: the run ends quietly.
    if (sessionEnded)
        return;
    if (status == EXTRACT_OK) {
        DestroyWindow(progressWindow);
        return;
    }
    ShowWindow(progressWindow, SW_HIDE);
    switch (status) {
    case EXTRACT_WRONG_PASSWORD:
        ReportString(GetMessageOwner(), MB_OK, IDS_WRONG_PASSWORD);
        break;
    case EXTRACT_DECLINED:
        break;
    case EXTRACT_BAD_PACKAGE_SIZE:
        ReportString(GetMessageOwner(), MB_OK, IDS_BAD_PACKAGE_SIZE);
        break;
    default:
        ReportString(GetMessageOwner(), MB_OK, IDS_EXTRACT_FAILED, static_cast<int>(static_cast<signed char>(status)));
        RemoveExtractedFiles(moduleHandle);
        break;
    }
}

static void FreeDrawingObjects()
{
    DeleteObject(faceBrush);
    DeleteObject(whiteBrush);
    DeleteObject(navyBrush);
    DeleteFramePens();
}

// The package's length is the room its files need at most, a compressed
// package's the unpacked length of its entries; a package whose length
// cannot be had cannot be read, as one that could not be opened.
static DWORD Run(HINSTANCE instance)
{
    DWORD systemCode = 0;
    ExtractStatus status = EXTRACT_CANNOT_OPEN_PACKAGE;
    LARGE_INTEGER length;
    if (GetFileSizeEx(packageFile, &length)) {
        if (!ChooseWorkingDir(workingDir, BytesToUnpack(packageFile, length.QuadPart))) {
            // Never extract relative to the current directory instead.
            ReportString(GetMessageOwner(), MB_OK, IDS_NO_DISK_SPACE);
            return ERROR_INSTALL_TEMP_UNWRITABLE;
        }
        status = ExtractPackage(instance, &systemCode);
    }
    CloseRun(status);
    return ExitCodeOf(status, systemCode);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int)
{
    if (previous)
        return 0;
    moduleHandle = instance;
    // First, and once for the run: whatever is put at the package's path
    // later, every reader reads the file that was started.
    packageFile = OpenPackageFile(instance);

    faceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    navyBrush = CreateSolidBrush(RGB(0, 0, 128));
    CreateFramePens();
    CreateProgressWindow(instance);

    ReadSwitches(argCount, argValues);
    if (silentMode)
        OpenSilentLog(instance);

    DWORD code = Run(instance);
    // Whatever ended the run, an empty working directory does not outlive it.
    RemoveWorkingDir();
    FreeDrawingObjects();
    CloseHandle(packageFile);
    return PackageExitCode(instance, code);
}
