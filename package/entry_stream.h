// A compressed package's entries (layout in package/format.h) read as those
// of a plain one: a FileStream over the entry stream whose buffer is a
// window on the chunk being decoded, moved on a piece at a time. Memory for
// one chunk comes from VirtualAlloc, sized by what the package declares
// within caps checked first.
#ifndef PACKAGE_ENTRY_STREAM_H
#define PACKAGE_ENTRY_STREAM_H

#include <windows.h>
#include "launcher/status.h"
#include "package/format.h"
#include "package/stream.h"

// Reads the compressed head at the stream's position (payloadOffset) and
// checks its sizes against the caps. EXTRACT_OK, EXTRACT_ENTRY_READ_FAILED,
// or EXTRACT_DATA_READ_FAILED for sizes that no sound package has.
ExtractStatus ReadCompressedHead(FileStream *package, CompressedHead *head);

// What extracting the package in `file` (`fileLength` bytes) writes, for
// the free-space check: the file's length for a plain package, the entry
// stream's for a compressed one.
ULONGLONG BytesToUnpack(HANDLE file, ULONGLONG fileLength);

// Reads the head and the directory, checks them against the head's CRC,
// and makes `entries` read the entry stream from the chunks that follow.
// EXTRACT_OK; EXTRACT_ENTRY_READ_FAILED or EXTRACT_DATA_READ_FAILED for a
// damaged package; EXTRACT_OUT_OF_MEMORY when a sound package's memory
// cannot be had. After EXTRACT_OK, CloseEntryStream must follow.
ExtractStatus OpenEntryStream(FileStream *package, FileStream *entries);

// Decodes the next piece into the window of `entries`. 0 at the end of the
// entry stream, or for a chunk that is damaged: its header, its CRC, or
// bytes that do not decode to exactly its size.
int RefillEntryStream(FileStream *entries);

// 1 when every chunk has been decoded and every byte of it read.
int EntryStreamAtEnd(const FileStream *entries);

// Frees the memory; `entries` no longer reads.
void CloseEntryStream(FileStream *entries);

#endif
