#include "sfxpack/write/compress.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "package/crc32.h"

extern "C" {
#include "LzmaEnc.h"
}

namespace sfxpack {

namespace {

void *Allocate(void *, size_t size)
{
    return std::malloc(size);
}

void Release(void *, void *address)
{
    std::free(address);
}

ISzAlloc allocator = {Allocate, Release};

// 0 on success, else the SDK's error code.
int CompressOne(const Bytes &input, PackedChunk *chunk)
{
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 9;
    props.dictSize = CHUNK_CAPACITY_MAX;
    props.reduceSize = static_cast<UInt32>(input.size());
    props.lc = 3;
    props.lp = 0;
    props.pb = 2;
    props.algo = 1;
    props.fb = 273;
    props.btMode = 1;
    props.numHashBytes = 4;
    props.writeEndMark = 1;
    props.numThreads = 1;
    chunk->packed.resize(static_cast<size_t>(ChunkPackedBound(int64_t(input.size()))));
    SizeT packedSize = chunk->packed.size(), propsSize = LZMA_PROPERTIES_SIZE;
    ChunkHeader &header = chunk->header;
    std::memset(&header, 0, sizeof header);
    header.method = CHUNK_METHOD_LZMA;
    SRes result = LzmaEncode(chunk->packed.data(), &packedSize, input.data(), input.size(), &props,
                             header.properties, &propsSize, 1, nullptr, &allocator, &allocator);
    if (result != SZ_OK)
        return result;
    chunk->packed.resize(packedSize);
    chunk->packed.shrink_to_fit();
    header.packedSize = static_cast<int32_t>(packedSize);
    header.unpackedSize = static_cast<int32_t>(input.size());
    uint32_t crc = Crc32Update(0, &header, offsetof(ChunkHeader, crc));
    header.crc = Crc32Update(crc, chunk->packed.data(), packedSize);
    return SZ_OK;
}

}  // namespace

bool CompressChunks(const std::vector<Bytes> &inputs, unsigned threads, std::vector<PackedChunk> *chunks,
                    std::string *error)
{
    size_t first = chunks->size();
    chunks->resize(first + inputs.size());
    std::vector<int> results(inputs.size(), SZ_OK);
    std::atomic<size_t> next{0};
    auto work = [&]() {
        for (size_t i; (i = next++) < inputs.size();)
            results[i] = CompressOne(inputs[i], &(*chunks)[first + i]);
    };
    if (threads < 1)
        threads = 1;
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads && t < inputs.size(); t++)
        pool.emplace_back(work);
    work();
    for (std::thread &thread : pool)
        thread.join();
    for (int result : results)
        if (result != SZ_OK) {
            *error = result == SZ_ERROR_MEM ? "not enough memory to compress a chunk"
                                            : "the LZMA encoder failed with code " + std::to_string(result);
            return false;
        }
    return true;
}

}  // namespace sfxpack
