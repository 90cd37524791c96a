// Decoding one chunk of a compressed package (layout in package/format.h)
// whose packed bytes are all in memory, into a buffer that holds the whole
// chunk, a piece at a time. The only user of the LZMA SDK's decoder: the
// launcher's stream reader and sfxpack both decode through it, so that they
// give one verdict. No Windows header, no C runtime, no memory of its own:
// the caller hands in every buffer, so that a failed allocation can only
// happen, and be told, before decoding starts.
#ifndef PACKAGE_CHUNK_DECODER_H
#define PACKAGE_CHUNK_DECODER_H

#include <stddef.h>
#include "package/format.h"

enum {
    // The decoder's probability tables for lc + lp at most 4, which
    // CheckChunkHeader ensures: (1846 + 0x300 << 4) 16-bit counters.
    CHUNK_DECODER_TABLE_BYTES = (1846 + (0x300 << 4)) * 2
};

// Sets the decoder up for `chunk`, whose header CheckChunkHeader has passed,
// to decode its `packed` bytes into `out`, which holds its unpackedSize
// bytes, with its tables in `tables` (CHUNK_DECODER_TABLE_BYTES). 1 on
// success.
int StartChunk(const ChunkHeader *chunk, const unsigned char *packed, unsigned char *out, unsigned char *tables);

// Decodes until `limit` bytes of the chunk (at most its unpackedSize) are in
// `out`. At the chunk's end the stream must end there, with its end mark,
// on its last packed byte. 1 when it does, 0 for a damaged chunk; never
// reads or writes outside the buffers, and always ends.
int DecodeChunkTo(size_t limit);

#endif
