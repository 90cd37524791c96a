// The small fixed error numbers that directory creation decides on and that
// the "cannot create destination file" message shows.
#ifndef FSUTIL_ERROR_NUMBER_H
#define FSUTIL_ERROR_NUMBER_H

enum {
    ERROR_NUMBER_NOT_FOUND = 2,
    ERROR_NUMBER_ACCESS_DENIED = 13,
    ERROR_NUMBER_EXISTS = 17,
    ERROR_NUMBER_INVALID = 22
};

int ErrorNumber(unsigned long win32Error);

#endif
