#include "sfxpack/read/decoded_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "package/chunk_decoder.h"
#include "package/chunks.h"
#include "package/crc32.h"
#include "sfxpack/read/integrity.h"

namespace sfxpack {

namespace {

const char *ChunkFaultText(ChunkFault fault)
{
    switch (fault) {
    case CHUNK_UNKNOWN_METHOD:
        return "a method this sfxpack does not know";
    case CHUNK_BAD_PROPERTIES:
        return "LZMA properties out of range (lc, lp, pb; lc + lp at most 4)";
    case CHUNK_DICTIONARY_TOO_LARGE:
        return "a dictionary above 64 MiB";
    default:
        return "sizes outside those the compressed head declares";
    }
}

}  // namespace

bool IsCompressed(const ParsedPackage &parsed)
{
    return (PackageFeatures(parsed.header.reserved) & FEATURE_LZMA_CHUNKS) != 0;
}

bool MatchesDirectory(Source &entries, const ParsedEntry &entry, const Bytes &directory, size_t *at,
                      std::string *error)
{
    size_t length = size_t(entry.dataOffset - entry.offset);
    Bytes fields(length);
    if (!entries.Read(entry.offset, fields.data(), length, error))
        return false;
    if (length > directory.size() - *at || std::memcmp(fields.data(), directory.data() + *at, length) != 0) {
        *error = "its name, time or size differ from those the directory holds at offset " + std::to_string(*at);
        return false;
    }
    *at += length;
    return true;
}

bool OpenEntries(Source &file, const ParsedPackage &parsed, std::unique_ptr<DecodedSource> *decoded,
                 Source **entries, std::string *error)
{
    if (!IsCompressed(parsed)) {
        *entries = &file;
        return true;
    }
    decoded->reset(new DecodedSource(file));
    *entries = decoded->get();
    return (*decoded)->Open(parsed, error);
}

bool DecodedSource::Open(const ParsedPackage &parsed, std::string *error)
{
    payloadOffset_ = uint64_t(parsed.header.payloadOffset);
    uint64_t end = uint64_t(int64_t(parsed.header.packageLength) < 0 ? 0 : parsed.header.packageLength);
    std::string place = "compressed head at offset " + std::to_string(payloadOffset_) + ": ";
    if (payloadOffset_ + sizeof head_ > file_.Size()) {
        *error = place + "the file ends before its " + std::to_string(sizeof head_) + " bytes";
        return false;
    }
    if (!file_.Read(payloadOffset_, &head_, sizeof head_, error))
        return false;
    if (!CompressedHeadSound(&head_)) {
        *error = place + "sizes that no package has (unpackedLength " + std::to_string(head_.unpackedLength) +
                 ", directoryLength " + std::to_string(head_.directoryLength) + ", chunkCount " +
                 std::to_string(head_.chunkCount) + ", chunkCapacity " + std::to_string(head_.chunkCapacity) +
                 ", packedCapacity " + std::to_string(head_.packedCapacity) + ")";
        return false;
    }
    uint64_t at = payloadOffset_ + sizeof head_;
    if (at + uint64_t(head_.directoryLength) > file_.Size()) {
        *error = place + "the file ends within the directory of " + std::to_string(head_.directoryLength) + " bytes";
        return false;
    }
    directory_.resize(size_t(head_.directoryLength));
    if (!file_.Read(at, directory_.data(), directory_.size(), error))
        return false;
    uint32_t crc = Crc32Update(Crc32Update(0, &head_, offsetof(CompressedHead, headCrc)), directory_.data(),
                               directory_.size());
    if (crc != head_.headCrc) {
        *error = place + "the head and directory give CRC-32 " + Hex32(crc) + ", but the head holds " +
                 Hex32(head_.headCrc);
        return false;
    }
    at += directory_.size();
    uint64_t unpacked = 0;
    for (int32_t i = 0; i < head_.chunkCount; i++) {
        std::string chunkPlace = "chunk " + std::to_string(i + 1) + " of " + std::to_string(head_.chunkCount) +
                                 " at offset " + std::to_string(at) + ": ";
        ChunkPlace chunk;
        if (at + sizeof chunk.header > end || !file_.Read(at, &chunk.header, sizeof chunk.header, error)) {
            *error = chunkPlace + "its header lies beyond packageLength " + std::to_string(end);
            return false;
        }
        ChunkFault fault = CheckChunkHeader(&chunk.header, &head_);
        if (fault != CHUNK_SOUND) {
            *error = chunkPlace + ChunkFaultText(fault);
            return false;
        }
        chunk.packedOffset = at + sizeof chunk.header;
        at = chunk.packedOffset + uint64_t(chunk.header.packedSize);
        if (at > end || end > file_.Size()) {
            *error = chunkPlace + "its packed bytes end at " + std::to_string(at) + ", beyond packageLength " +
                     std::to_string(end) + " or the file of " + std::to_string(file_.Size()) + " bytes";
            return false;
        }
        if (i + 1 < head_.chunkCount && chunk.header.unpackedSize != head_.chunkCapacity) {
            *error = chunkPlace + "unpacks to " + std::to_string(chunk.header.unpackedSize) +
                     " bytes; every chunk but the last holds chunkCapacity " + std::to_string(head_.chunkCapacity);
            return false;
        }
        chunkStarts_.push_back(unpacked);
        unpacked += uint64_t(chunk.header.unpackedSize);
        chunks_.push_back(chunk);
    }
    if (at != end) {
        *error = "the chunks end at offset " + std::to_string(at) + ", but packageLength is " + std::to_string(end);
        return false;
    }
    if (unpacked != uint64_t(head_.unpackedLength)) {
        *error = place + "unpackedLength is " + std::to_string(head_.unpackedLength) + ", but the chunks unpack to " +
                 std::to_string(unpacked);
        return false;
    }
    return true;
}

uint64_t DecodedSource::PackedBytes() const
{
    uint64_t packed = sizeof head_ + directory_.size();
    for (const ChunkPlace &chunk : chunks_)
        packed += sizeof chunk.header + uint64_t(chunk.header.packedSize);
    return packed;
}

bool DecodedSource::Decode(size_t index, std::string *error)
{
    const ChunkPlace &chunk = chunks_[index];
    std::string place = "chunk " + std::to_string(index + 1) + " of " + std::to_string(chunks_.size()) +
                        " at offset " + std::to_string(chunk.packedOffset - sizeof chunk.header) + ": ";
    Bytes packed(size_t(chunk.header.packedSize));
    if (!file_.Read(chunk.packedOffset, packed.data(), packed.size(), error))
        return false;
    uint32_t crc = Crc32Update(Crc32Update(0, &chunk.header, offsetof(ChunkHeader, crc)), packed.data(),
                               packed.size());
    if (crc != chunk.header.crc) {
        *error = place + "its bytes give CRC-32 " + Hex32(crc) + ", but its header holds " + Hex32(chunk.header.crc);
        return false;
    }
    decoded_ = SIZE_MAX;
    unpacked_.resize(size_t(chunk.header.unpackedSize));
    Bytes tables(CHUNK_DECODER_TABLE_BYTES);
    if (!StartChunk(&chunk.header, packed.data(), unpacked_.data(), tables.data()) ||
        !DecodeChunkTo(unpacked_.size())) {
        *error = place + "it does not decode to exactly its " + std::to_string(unpacked_.size()) +
                 " bytes, ending with the end mark on its last packed byte";
        return false;
    }
    decoded_ = index;
    return true;
}

bool DecodedSource::Read(uint64_t offset, void *buffer, size_t length, std::string *error)
{
    unsigned char *out = static_cast<unsigned char *>(buffer);
    if (offset < payloadOffset_) {
        size_t step = size_t(std::min<uint64_t>(length, payloadOffset_ - offset));
        if (!file_.Read(offset, out, step, error))
            return false;
        out += step;
        offset += step;
        length -= step;
    }
    uint64_t at = offset - payloadOffset_;
    if (length > 0 && (at >= uint64_t(head_.unpackedLength) || length > uint64_t(head_.unpackedLength) - at)) {
        *error = "read past the end of the entry stream at offset " + std::to_string(offset);
        return false;
    }
    while (length > 0) {
        size_t index = size_t(std::upper_bound(chunkStarts_.begin(), chunkStarts_.end(), at) - chunkStarts_.begin()) - 1;
        if (index != decoded_ && !Decode(index, error))
            return false;
        uint64_t within = at - chunkStarts_[index];
        size_t step = size_t(std::min<uint64_t>(length, unpacked_.size() - within));
        std::memcpy(out, unpacked_.data() + within, step);
        out += step;
        at += step;
        length -= step;
    }
    return true;
}

}  // namespace sfxpack
