// WinMain: the whole run, top to bottom, on one thread.
#include <windows.h>
#include "launcher/exit_code.h"
#include "launcher/globals.h"
#include "launcher/status.h"
#include "launcher/switches.h"
#include "fsutil/workdir.h"
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int)
{
    if (previous)
        return 0;
    moduleHandle = instance;

    faceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    navyBrush = CreateSolidBrush(RGB(0, 0, 128));
    CreateFramePens();
    CreateProgressWindow(instance);

    ReadSwitches(argCount, argValues);
    if (silentMode)
        OpenSilentLog(instance);

    workingDir[0] = '\0';
    if (!ChooseWorkingDir(workingDir)) {
        // Never extract relative to the current directory instead.
        ReportString(GetMessageOwner(), MB_OK, IDS_NO_DISK_SPACE);
        FreeDrawingObjects();
        return PackageExitCode(instance, ERROR_INSTALL_TEMP_UNWRITABLE);
    }

    DWORD systemCode;
    ExtractStatus status = ExtractPackage(instance, &systemCode);
    CloseRun(status);
    FreeDrawingObjects();
    return PackageExitCode(instance, ExitCodeOf(status, systemCode));
}
