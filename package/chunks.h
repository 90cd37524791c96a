// The checks of a compressed package's head and chunk headers (layout in
// package/format.h) made before anything is allocated or decoded: the
// launcher and sfxpack both call these, so that they give one verdict.
#ifndef PACKAGE_CHUNKS_H
#define PACKAGE_CHUNKS_H

#include "package/format.h"

enum ChunkFault {
    CHUNK_SOUND = 0,
    CHUNK_UNKNOWN_METHOD,      // a method or a zero byte other than the format has
    CHUNK_BAD_PROPERTIES,      // lc, lp or pb out of range, or lc + lp above 4
    CHUNK_DICTIONARY_TOO_LARGE,
    CHUNK_BAD_SIZES            // a size outside what the head declares
};

// 1 when the head's sizes are possible: one chunk at least, each of 1 byte
// or more, capacities within the caps. The caps keep lc + lp small too,
// so that the decoder's tables stay below 32 KB.
inline int CompressedHeadSound(const CompressedHead *head)
{
    return head->unpackedLength > 0 && head->directoryLength > 0 && head->chunkCount > 0 &&
           head->chunkCount <= head->unpackedLength && head->chunkCapacity > 0 &&
           head->chunkCapacity <= CHUNK_CAPACITY_MAX && head->packedCapacity > 0 &&
           head->packedCapacity <= ChunkPackedBound(head->chunkCapacity) &&
           int64_t(head->chunkCount) * head->chunkCapacity >= head->unpackedLength;
}

inline ChunkFault CheckChunkHeader(const ChunkHeader *chunk, const CompressedHead *head)
{
    if (chunk->method != CHUNK_METHOD_LZMA || chunk->zero[0] != 0 || chunk->zero[1] != 0)
        return CHUNK_UNKNOWN_METHOD;
    unsigned lcLpPb = chunk->properties[0];
    if (lcLpPb >= 9 * 5 * 5 || lcLpPb % 9 + lcLpPb / 9 % 5 > 4)
        return CHUNK_BAD_PROPERTIES;
    if (ChunkDictionarySize(chunk->properties) > uint32_t(CHUNK_CAPACITY_MAX))
        return CHUNK_DICTIONARY_TOO_LARGE;
    if (chunk->packedSize < 1 || chunk->packedSize > head->packedCapacity || chunk->unpackedSize < 1 ||
        chunk->unpackedSize > head->chunkCapacity)
        return CHUNK_BAD_SIZES;
    return CHUNK_SOUND;
}

#endif
