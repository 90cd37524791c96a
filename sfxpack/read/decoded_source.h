// The entries of a compressed package (layout in package/format.h) read as
// those of a plain one: the file up to payloadOffset, then the entry
// stream, decoded a chunk at a time as it is read, with the decoder the
// launcher has. Offsets past payloadOffset are offsets in the entry stream.
#ifndef SFXPACK_READ_DECODED_SOURCE_H
#define SFXPACK_READ_DECODED_SOURCE_H

#include <memory>

#include "sfxpack/read/reader.h"

namespace sfxpack {

struct ChunkPlace {
    ChunkHeader header;
    uint64_t packedOffset;  // in the file
};

class DecodedSource : public Source {
public:
    explicit DecodedSource(Source &file) : file_(file) {}
    // Reads the compressed head, the directory and every chunk header and
    // checks them as the launcher does before it decodes: the head's CRC,
    // sizes, properties, and the last chunk ending at packageLength.
    bool Open(const ParsedPackage &parsed, std::string *error);
    uint64_t Size() const override { return payloadOffset_ + uint64_t(head_.unpackedLength); }
    // A chunk's packed bytes are checked against its CRC before they are
    // decoded; it must then give exactly its unpacked size and end there.
    bool Read(uint64_t offset, void *buffer, size_t length, std::string *error) override;

    const CompressedHead &Head() const { return head_; }
    const Bytes &Directory() const { return directory_; }
    const std::vector<ChunkPlace> &Chunks() const { return chunks_; }
    uint64_t PackedBytes() const;

private:
    bool Decode(size_t index, std::string *error);

    Source &file_;
    uint64_t payloadOffset_ = 0;
    CompressedHead head_{};
    Bytes directory_;
    std::vector<ChunkPlace> chunks_;
    std::vector<uint64_t> chunkStarts_;  // in the entry stream
    size_t decoded_ = SIZE_MAX;          // the chunk in `unpacked_`
    Bytes unpacked_;
};

bool IsCompressed(const ParsedPackage &parsed);

// Compares the fields of `entry`, read from `entries`, with those the
// directory holds at `*at`, and moves `*at` past them.
bool MatchesDirectory(Source &entries, const ParsedEntry &entry, const Bytes &directory, size_t *at,
                      std::string *error);

// The source to walk the entries of: `file` itself for a plain package, else
// a DecodedSource made in `decoded` and opened.
bool OpenEntries(Source &file, const ParsedPackage &parsed, std::unique_ptr<DecodedSource> *decoded,
                 Source **entries, std::string *error);

}  // namespace sfxpack

#endif
