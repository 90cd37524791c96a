#include "package/entry_stream.h"
#include "package/chunk_decoder.h"
#include "package/chunks.h"
#include "package/crc32.h"
#include "package/header.h"
#include "launcher/globals.h"

enum { DECODE_STEP = 65536 };

static CompressedHead head;
static unsigned char *memory;        // the tables, then the chunk, then its packed bytes
static unsigned char *chunkBuffer;
static unsigned char *packedBuffer;
static int chunksLeft;
static DWORD unpackedLeft;           // of the entry stream, in chunks not yet begun
static DWORD chunkSize, decodedTo;   // of the chunk being decoded

ExtractStatus ReadCompressedHead(FileStream *package, CompressedHead *read)
{
    if (!ReadStream(package, read, sizeof *read))
        return EXTRACT_ENTRY_READ_FAILED;
    return CompressedHeadSound(read) ? EXTRACT_OK : EXTRACT_DATA_READ_FAILED;
}

ULONGLONG BytesToUnpack(HANDLE file, ULONGLONG fileLength)
{
    PackageInfo info;
    FileStream package;
    unsigned char buffer[COMPRESSED_HEAD_BYTES];
    CompressedHead read;
    if (LoadPackageHeader(moduleHandle, &info) != EXTRACT_OK || !info.compressed)
        return fileLength;
    BeginReading(&package, file, buffer, sizeof buffer, info.payloadOffset);
    return ReadStream(&package, &read, sizeof read) ? ULONGLONG(read.unpackedLength) : fileLength;
}

// Passes over the directory, summing it after the head's fields.
static int DirectoryMatches(FileStream *package)
{
    package->crc = Crc32Update(0, &head, offsetof(CompressedHead, headCrc));
    package->summing = 1;
    unsigned char piece[256];
    int read = 1;
    for (DWORD left = DWORD(head.directoryLength); read && left > 0;) {
        DWORD take = left < sizeof piece ? left : DWORD(sizeof piece);
        read = ReadStream(package, piece, take);
        left -= take;
    }
    package->summing = 0;
    return read && package->crc == head.headCrc;
}

ExtractStatus OpenEntryStream(FileStream *package, FileStream *entries)
{
    ExtractStatus status = ReadCompressedHead(package, &head);
    if (status != EXTRACT_OK)
        return status;
    if (!DirectoryMatches(package))
        return EXTRACT_DATA_READ_FAILED;
    SIZE_T size = CHUNK_DECODER_TABLE_BYTES + SIZE_T(head.chunkCapacity) + SIZE_T(head.packedCapacity);
    memory = static_cast<unsigned char *>(VirtualAlloc(NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!memory)
        return EXTRACT_OUT_OF_MEMORY;
    chunkBuffer = memory + CHUNK_DECODER_TABLE_BYTES;
    packedBuffer = chunkBuffer + head.chunkCapacity;
    chunksLeft = head.chunkCount;
    unpackedLeft = DWORD(head.unpackedLength);
    chunkSize = decodedTo = 0;

    BeginReading(entries, INVALID_HANDLE_VALUE, chunkBuffer, DECODE_STEP, 0);
    entries->packed = package;
    return EXTRACT_OK;
}

// Reads the next chunk whole and checks it before any of it is decoded.
static int StartNextChunk(FileStream *package)
{
    ChunkHeader chunk;
    if (chunksLeft == 0 || !ReadStream(package, &chunk, sizeof chunk) ||
        CheckChunkHeader(&chunk, &head) != CHUNK_SOUND || DWORD(chunk.unpackedSize) > unpackedLeft)
        return 0;
    chunksLeft--;
    unpackedLeft -= chunk.unpackedSize;
    // Every chunk but the last is full, and the last ends the entry stream.
    if ((chunksLeft > 0 && chunk.unpackedSize != head.chunkCapacity) || (chunksLeft == 0 && unpackedLeft != 0))
        return 0;
    if (!ReadStream(package, packedBuffer, chunk.packedSize))
        return 0;
    uint32_t crc = Crc32Update(0, &chunk, offsetof(ChunkHeader, crc));
    if (Crc32Update(crc, packedBuffer, chunk.packedSize) != chunk.crc)
        return 0;
    chunkSize = chunk.unpackedSize;
    decodedTo = 0;
    return StartChunk(&chunk, packedBuffer, chunkBuffer, memory);
}

int RefillEntryStream(FileStream *entries)
{
    if (decodedTo == chunkSize && !StartNextChunk(entries->packed)) {
        chunksLeft = 0;
        chunkSize = decodedTo = 0;
        return 0;
    }
    DWORD limit = chunkSize - decodedTo > entries->capacity ? decodedTo + entries->capacity : chunkSize;
    if (!DecodeChunkTo(limit)) {
        chunksLeft = 0;
        chunkSize = decodedTo = 0;
        return 0;
    }
    entries->buffer = chunkBuffer + decodedTo;
    entries->start = 0;
    entries->fill = limit - decodedTo;
    decodedTo = limit;
    return 1;
}

int EntryStreamAtEnd(const FileStream *entries)
{
    return chunksLeft == 0 && unpackedLeft == 0 && decodedTo == chunkSize && entries->start == entries->fill;
}

void CloseEntryStream(FileStream *entries)
{
    if (memory)
        VirtualFree(memory, 0, MEM_RELEASE);
    memory = 0;
    entries->packed = 0;
    entries->start = entries->fill = 0;
}
