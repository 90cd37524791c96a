// Binary file streams over Win32 handles with a caller-supplied buffer, so
// that the many small fields and blocks of a package cost few system calls.
// A reading stream keeps its own offset in the file and names it in every
// read, so that several streams can read one handle, each where it is.
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
    LONGLONG next;          // reading: offset in the file of the byte after the buffered ones
    // Reading: while `summing` is set, every byte handed out is added to
    // `crc` (CRC-32), so that data is checked as it is copied, not read twice.
    int summing;
    uint32_t crc;
    // Writing: the system's code of the write that failed.
    DWORD writeError;
};

// Reading `handle` from `offset` on. The handle stays its owner's: the
// stream is never closed.
void BeginReading(FileStream *stream, HANDLE handle, unsigned char *buffer, DWORD capacity, LONGLONG offset);
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
// Closes a writing stream without writing out the buffer: flush first to
// keep it.
void CloseStream(FileStream *stream);

#endif
