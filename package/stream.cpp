#include "package/stream.h"
#include "package/crc32.h"

static void Reset(FileStream *stream, HANDLE handle, unsigned char *buffer, DWORD capacity)
{
    stream->handle = handle;
    stream->buffer = buffer;
    stream->capacity = capacity;
    stream->start = 0;
    stream->fill = 0;
    stream->summing = 0;
    stream->crc = 0;
    stream->writeError = 0;
}

void BeginReading(FileStream *stream, HANDLE handle, unsigned char *buffer, DWORD capacity, LONGLONG offset)
{
    Reset(stream, handle, buffer, capacity);
    stream->next = offset;
}

int OpenWriteStream(FileStream *stream, const char *path, unsigned char *buffer, DWORD capacity)
{
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    Reset(stream, handle, buffer, capacity);
    return handle != INVALID_HANDLE_VALUE;
}

int IsStreamOpen(const FileStream *stream)
{
    return stream->handle != INVALID_HANDLE_VALUE && stream->handle != NULL;
}

// Reads at the stream's own offset, never where the file pointer stands:
// another stream over the same handle may have moved it, even between two
// blocks (a removal pass run from a window message).
static int ReadAt(FileStream *stream, void *data, DWORD count, DWORD *got)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(stream->next);
    at.OffsetHigh = static_cast<DWORD>(stream->next >> 32);
    if (!ReadFile(stream->handle, data, count, got, &at))
        return 0;
    stream->next += *got;
    return 1;
}

int ReadStream(FileStream *stream, void *data, DWORD count)
{
    unsigned char *out = static_cast<unsigned char *>(data);
    while (count > 0) {
        if (stream->start == stream->fill) {
            // A request as large as the buffer goes straight to the file.
            if (count >= stream->capacity) {
                DWORD got = 0;
                if (!ReadAt(stream, out, count, &got) || got != count)
                    return 0;
                if (stream->summing)
                    stream->crc = Crc32Update(stream->crc, out, count);
                return 1;
            }
            DWORD got = 0;
            if (!ReadAt(stream, stream->buffer, stream->capacity, &got) || got == 0)
                return 0;
            stream->start = 0;
            stream->fill = got;
        }
        DWORD take = stream->fill - stream->start;
        if (take > count)
            take = count;
        CopyMemory(out, stream->buffer + stream->start, take);
        if (stream->summing)
            stream->crc = Crc32Update(stream->crc, out, take);
        stream->start += take;
        out += take;
        count -= take;
    }
    return 1;
}

static int WriteWhole(FileStream *stream, const void *data, DWORD count)
{
    DWORD written = 0;
    if (!WriteFile(stream->handle, data, count, &written, NULL)) {
        stream->writeError = GetLastError();
        return 0;
    }
    // A write cut short without an error has run out of room.
    if (written != count) {
        stream->writeError = ERROR_DISK_FULL;
        return 0;
    }
    return 1;
}

int FlushStream(FileStream *stream)
{
    DWORD count = stream->fill;
    stream->fill = 0;
    return count == 0 || WriteWhole(stream, stream->buffer, count);
}

int WriteStream(FileStream *stream, const void *data, DWORD count)
{
    if (count > stream->capacity - stream->fill && !FlushStream(stream))
        return 0;
    // A request as large as the buffer goes straight to the file.
    if (count >= stream->capacity)
        return WriteWhole(stream, data, count);
    CopyMemory(stream->buffer + stream->fill, data, count);
    stream->fill += count;
    return 1;
}

LONGLONG StreamLength(FileStream *stream)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(stream->handle, &size))
        return -1;
    return size.QuadPart;
}

void SeekStream(FileStream *stream, LONGLONG offset)
{
    stream->next = offset;
    stream->start = stream->fill = 0;
}

void SkipStream(FileStream *stream, LONGLONG count)
{
    LONGLONG buffered = stream->fill - stream->start;
    if (count <= buffered) {
        stream->start += static_cast<DWORD>(count);
        return;
    }
    stream->next += count - buffered;
    stream->start = stream->fill = 0;
}

void CloseStream(FileStream *stream)
{
    if (IsStreamOpen(stream))
        CloseHandle(stream->handle);
    stream->handle = INVALID_HANDLE_VALUE;
    stream->start = stream->fill = 0;
}
