// Binary file streams over Win32 handles with a caller-supplied buffer, so
// that the many small fields and blocks of a package cost few system calls.
#ifndef PACKAGE_STREAM_H
#define PACKAGE_STREAM_H

#include <windows.h>
#include <stdint.h>

struct FileStream {
    HANDLE handle;          // INVALID_HANDLE_VALUE when closed
    unsigned char *buffer;  // `capacity` bytes
    DWORD capacity;
    DWORD start;            // reading: next unread byte in the buffer
    DWORD fill;             // bytes held in the buffer: read ahead, or not yet written
    // Reading: while `summing` is set, every byte handed out is added to
    // `crc` (CRC-32), so that data is checked as it is copied, not read twice.
    int summing;
    uint32_t crc;
    // Writing: the system's code of the write that failed.
    DWORD writeError;
    // Reading a compressed package's entries: the stream of the package
    // file, whose chunks are decoded into the buffer as it empties (see
    // package/entry_stream.h); null for a file of its own.
    FileStream *packed;
};

// Opens for reading, others may read but not write. 1 on success.
int OpenReadStream(FileStream *stream, const char *path, unsigned char *buffer, DWORD capacity);
// Creates or truncates for writing, others may read but not write. 1 on success.
int OpenWriteStream(FileStream *stream, const char *path, unsigned char *buffer, DWORD capacity);
// 1 only when all `count` bytes were read or written. A write failure may
// show only when the buffer is written out.
int ReadStream(FileStream *stream, void *data, DWORD count);
int WriteStream(FileStream *stream, const void *data, DWORD count);
// Writes out what the buffer holds; 1 when all of it was written.
int FlushStream(FileStream *stream);
// Length of the file, or -1 when it cannot be had.
LONGLONG StreamLength(FileStream *stream);
void SeekStream(FileStream *stream, LONGLONG offset);
void SkipStream(FileStream *stream, LONGLONG count);
int IsStreamOpen(const FileStream *stream);
// Closes without writing out the buffer: flush first to keep it. Closing
// the entries of a compressed package closes the package file too.
void CloseStream(FileStream *stream);

#endif
