#include <windows.h>
#include "fsutil/error_number.h"

int ErrorNumber(unsigned long win32Error)
{
    switch (win32Error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return ERROR_NUMBER_NOT_FOUND;
    case ERROR_BAD_ENVIRONMENT:
        return 7;
    case ERROR_BAD_FORMAT:
        return 8;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_TARGET_HANDLE:
    case ERROR_DIRECT_ACCESS_HANDLE:
        return 9;
    case ERROR_WAIT_NO_CHILDREN:
    case ERROR_CHILD_NOT_COMPLETE:
        return 10;
    case ERROR_NO_PROC_SLOTS:
    case ERROR_MAX_THRDS_REACHED:
    case ERROR_NESTING_NOT_ALLOWED:
        return 11;
    case ERROR_ARENA_TRASHED:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_INVALID_BLOCK:
    case ERROR_NOT_ENOUGH_QUOTA:
        return 12;
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
    case ERROR_SEEK_ON_DEVICE:
    case ERROR_NOT_LOCKED:
    case ERROR_LOCK_FAILED:
        return ERROR_NUMBER_ACCESS_DENIED;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return ERROR_NUMBER_EXISTS;
    case ERROR_NOT_SAME_DEVICE:
        return 18;
    case ERROR_TOO_MANY_OPEN_FILES:
        return 24;
    case ERROR_DISK_FULL:
        return 28;
    case ERROR_BROKEN_PIPE:
        return 32;
    case ERROR_DIR_NOT_EMPTY:
        return 41;
    }
    if (win32Error >= ERROR_WRITE_PROTECT && win32Error <= ERROR_SHARING_BUFFER_EXCEEDED)
        return ERROR_NUMBER_ACCESS_DENIED;
    if (win32Error >= ERROR_INVALID_STARTING_CODESEG && win32Error <= ERROR_INFLOOP_IN_RELOC_CHAIN)
        return 8;
    return ERROR_NUMBER_INVALID;
}
