#include "package/chunk_decoder.h"

extern "C" {
#include "LzmaDec.h"
}

static CLzmaDec decoder;
static unsigned char *tableBytes;
static const unsigned char *packedBytes;
static SizeT packedSize, packedUsed, unpackedSize;

// The decoder asks for its tables only: they are the caller's.
static void *GiveTables(void *, size_t size)
{
    return size <= CHUNK_DECODER_TABLE_BYTES ? tableBytes : 0;
}

static void KeepTables(void *, void *)
{
}

static ISzAlloc tables = {GiveTables, KeepTables};

int StartChunk(const ChunkHeader *chunk, const unsigned char *packed, unsigned char *out, unsigned char *tableMemory)
{
    tableBytes = tableMemory;
    LzmaDec_Construct(&decoder);
    if (LzmaDec_AllocateProbs(&decoder, chunk->properties, LZMA_PROPERTIES_SIZE, &tables) != SZ_OK)
        return 0;
    // The whole chunk's buffer is the dictionary: it never wraps.
    decoder.dic = out;
    decoder.dicBufSize = SizeT(chunk->unpackedSize);
    LzmaDec_Init(&decoder);
    packedBytes = packed;
    packedSize = SizeT(chunk->packedSize);
    packedUsed = 0;
    unpackedSize = SizeT(chunk->unpackedSize);
    return 1;
}

int DecodeChunkTo(size_t limit)
{
    if (limit > unpackedSize)
        limit = unpackedSize;
    SizeT available = packedSize - packedUsed;
    ELzmaStatus status;
    SRes result = LzmaDec_DecodeToDic(&decoder, limit, packedBytes + packedUsed, &available,
                                      limit == unpackedSize ? LZMA_FINISH_END : LZMA_FINISH_ANY, &status);
    packedUsed += available;
    // Short of the limit, the packed bytes have run out or the stream has
    // ended early: either way the chunk holds fewer bytes than it declares.
    if (result != SZ_OK || decoder.dicPos != limit)
        return 0;
    return limit < unpackedSize || (status == LZMA_STATUS_FINISHED_WITH_MARK && packedUsed == packedSize);
}
