#include "launcher/exit_code.h"
#include "package/header.h"

// Codes that deployment tools already read, most of them the Windows
// Installer's.
DWORD ExitCodeOf(ExtractStatus status, DWORD systemCode)
{
    switch (status) {
    case EXTRACT_OK:
        return systemCode;
    case EXTRACT_DECLINED:
        return ERROR_INSTALL_USEREXIT;
    case EXTRACT_WRONG_PASSWORD:
        return ERROR_INVALID_PASSWORD;
    case EXTRACT_CANNOT_OPEN_PACKAGE:
        return ERROR_INSTALL_PACKAGE_OPEN_FAILED;
    case EXTRACT_CANNOT_CREATE_FILE:
    case EXTRACT_CANNOT_CREATE_DIR:
        return ERROR_CANNOT_MAKE;
    case EXTRACT_DATA_WRITE_FAILED:
        // The two codes of a full disk are one outcome.
        return systemCode == ERROR_HANDLE_DISK_FULL ? ERROR_DISK_FULL : systemCode;
    default:
        return ERROR_INSTALL_PACKAGE_INVALID;
    }
}

DWORD PackageExitCode(HINSTANCE module, DWORD code)
{
    PackageInfo info;
    info.exitCodesMarked = 0;
    LoadPackageHeader(module, &info);
    return info.exitCodesMarked ? code : 0;
}
