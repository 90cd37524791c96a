// Binary file streams over Win32 handles with a caller-supplied buffer: reads
// are buffered, so the many small fields of a package cost few system calls.
#ifndef PACKAGE_STREAM_H
#define PACKAGE_STREAM_H

#include <windows.h>

struct FileStream {
    HANDLE handle;          // INVALID_HANDLE_VALUE when closed
    unsigned char *buffer;  // read buffer, `capacity` bytes
    DWORD capacity;
    DWORD start;            // next unread byte in the buffer
    DWORD fill;             // bytes held in the buffer
};

// Opens for reading, others may read but not write. 1 on success.
int OpenReadStream(FileStream *stream, const char *path, unsigned char *buffer, DWORD capacity);
// Creates or truncates for writing, others may read but not write. 1 on success.
int OpenWriteStream(FileStream *stream, const char *path);
// 1 only when all `count` bytes were read or written.
int ReadStream(FileStream *stream, void *data, DWORD count);
int WriteStream(FileStream *stream, const void *data, DWORD count);
// Length of the file, or -1 when it cannot be had.
LONGLONG StreamLength(FileStream *stream);
void SeekStream(FileStream *stream, LONGLONG offset);
void SkipStream(FileStream *stream, LONGLONG count);
int IsStreamOpen(const FileStream *stream);
void CloseStream(FileStream *stream);

#endif
