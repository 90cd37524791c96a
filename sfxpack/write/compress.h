// Compressing the entry stream of a package chunk by chunk (layout in
// package/format.h), with the LZMA SDK's encoder compiled in, so that every
// build of the writer makes the same bytes whatever library the system has.
#ifndef SFXPACK_WRITE_COMPRESS_H
#define SFXPACK_WRITE_COMPRESS_H

#include <string>
#include <vector>

#include "package/format.h"
#include "sfxpack/common/bytes.h"

namespace sfxpack {

// Bytes of the entry stream in each chunk but the last: the larger, the
// smaller the package (a chunk is solid), up to the launcher's cap.
enum { DEFAULT_CHUNK_SIZE = CHUNK_CAPACITY_MAX };

struct PackedChunk {
    ChunkHeader header;  // every field set, CRC included
    Bytes packed;
};

// Compresses each input as one chunk: raw LZMA at the best ratio (level 9,
// fast bytes 273, binary tree of 4 bytes), a dictionary as large as the
// chunk, with the end mark. The inputs are shared out over up to `threads`
// threads; each chunk is made on its own, so the bytes do not depend on how
// many. Fails only when memory runs out.
bool CompressChunks(const std::vector<Bytes> &inputs, unsigned threads, std::vector<PackedChunk> *chunks,
                    std::string *error);

}  // namespace sfxpack

#endif
