// libFuzzer harness comparing the writer's LZMA with liblzma, the
// independent decoder: each input compressed by the writer as one chunk
// must come back exactly from the chunk decoder and from liblzma's raw
// LZMA1 decoder; compressed by liblzma's raw LZMA1 encoder (which ends its
// stream with the end mark), it must come back exactly from the chunk
// decoder. A difference aborts.
#include <cstdlib>
#include <cstring>
#include <lzma.h>
#include <vector>

#include "package/chunk_decoder.h"
#include "package/chunks.h"
#include "sfxpack/write/compress.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

Bytes DecodeChunk(const ChunkHeader &chunk, const Bytes &packed)
{
    CompressedHead head{};
    head.chunkCapacity = chunk.unpackedSize;
    head.packedCapacity = chunk.packedSize;
    Check(CheckChunkHeader(&chunk, &head) == CHUNK_SOUND);
    Bytes out(size_t(chunk.unpackedSize)), tables(CHUNK_DECODER_TABLE_BYTES);
    Check(StartChunk(&chunk, packed.data(), out.data(), tables.data()));
    Check(DecodeChunkTo(out.size()));
    return out;
}

lzma_options_lzma Options(const unsigned char *properties)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.lc = properties[0] % 9;
    options.lp = properties[0] / 9 % 5;
    options.pb = properties[0] / 45;
    options.dict_size = ChunkDictionarySize(properties);
    return options;
}

// liblzma's raw LZMA1 with `options`: encodes (`encode`) or decodes `in`.
Bytes Liblzma(const Bytes &in, lzma_options_lzma options, bool encode, size_t outSize)
{
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    Check((encode ? lzma_raw_encoder(&stream, filters) : lzma_raw_decoder(&stream, filters)) == LZMA_OK);
    Bytes out(outSize);
    stream.next_in = in.data();
    stream.avail_in = in.size();
    stream.next_out = out.data();
    stream.avail_out = out.size();
    lzma_ret result = lzma_code(&stream, LZMA_FINISH);
    Check(result == LZMA_STREAM_END);
    out.resize(out.size() - stream.avail_out);
    lzma_end(&stream);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    std::vector<Bytes> inputs = {Bytes(data, data + size)};
    std::vector<sfxpack::PackedChunk> chunks;
    std::string error;
    Check(sfxpack::CompressChunks(inputs, 1, &chunks, &error));
    const sfxpack::PackedChunk &chunk = chunks[0];
    Check(DecodeChunk(chunk.header, chunk.packed) == inputs[0]);
    Check(Liblzma(chunk.packed, Options(chunk.header.properties), false, size + 1) == inputs[0]);

    // liblzma's own stream, at a preset picked by the input.
    lzma_options_lzma options;
    lzma_lzma_preset(&options, data[0] % 10);
    options.dict_size = 1 << 16;
    Bytes packed = Liblzma(inputs[0], options, true, size + size / 16 + 4096);
    ChunkHeader header{};
    header.method = CHUNK_METHOD_LZMA;
    header.properties[0] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
    std::memcpy(header.properties + 1, &options.dict_size, 4);
    header.packedSize = int32_t(packed.size());
    header.unpackedSize = int32_t(size);
    Check(DecodeChunk(header, packed) == inputs[0]);
    return 0;
}
