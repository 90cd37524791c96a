// libFuzzer harness over the chunk decoder that the launcher and sfxpack
// share (package/chunk_decoder.h), with arbitrary chunks: a header made of
// the input's first bytes, the rest as packed bytes. Every buffer is exactly
// as large as the chunk declares, so that AddressSanitizer sees any read or
// write past one; pieces of varied length, as the launcher asks for them.
#include <cstring>
#include <vector>

#include "package/chunk_decoder.h"
#include "package/chunks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 + LZMA_PROPERTIES_SIZE + 3)
        return 0;
    ChunkHeader chunk{};
    chunk.method = CHUNK_METHOD_LZMA;
    std::memcpy(chunk.properties, data, LZMA_PROPERTIES_SIZE);
    // Up to 1 MiB unpacked, in steps of varied length.
    chunk.unpackedSize = 1 + (data[5] | data[6] << 8 | (data[7] & 0x0F) << 16);
    size_t step = 1 + size_t(data[8]) * 97;
    std::vector<unsigned char> packed(data + 9, data + size);
    chunk.packedSize = int32_t(packed.size());
    CompressedHead head{};
    head.chunkCapacity = chunk.unpackedSize;
    head.packedCapacity = chunk.packedSize;
    if (packed.empty() || CheckChunkHeader(&chunk, &head) != CHUNK_SOUND)
        return 0;
    std::vector<unsigned char> out(size_t(chunk.unpackedSize)), tables(CHUNK_DECODER_TABLE_BYTES);
    if (!StartChunk(&chunk, packed.data(), out.data(), tables.data()))
        return 0;
    for (size_t done = 0; done < out.size();) {
        done = done + step < out.size() ? done + step : out.size();
        if (!DecodeChunkTo(done))
            break;
    }
    return 0;
}
