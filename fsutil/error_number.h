// The small fixed error numbers that directory creation decides on and that
// the "cannot create destination file" message shows.
#ifndef FSUTIL_ERROR_NUMBER_H
#define FSUTIL_ERROR_NUMBER_H

int ErrorNumber(unsigned long win32Error);

#endif
