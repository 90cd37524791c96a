// Byte layout of a package: the header record kept in resource "MYRESOURCE"
// (type 1024) and the entries appended after the launcher's image.
// The launcher and the package writer both compile this one header, so the
// reader and the writer cannot drift apart. It needs no Windows header.
#ifndef PACKAGE_FORMAT_H
#define PACKAGE_FORMAT_H

#include <stddef.h>
#include <stdint.h>

enum {
    PACKAGE_HEADER_SIZE = 404,
    PACKAGE_FORMAT_VERSION = 6,
    PACKAGE_RESOURCE_TYPE = 1024,

    PASSWORD_FIELD_SIZE = 40,
    SETUP_COMMAND_FIELD_SIZE = 128,
    PRODUCT_TITLE_FIELD_SIZE = 80,
    SOURCE_PREFIX_FIELD_SIZE = 128,

    // An entry name is 1 to 260 bytes; the reader adds a NUL after it.
    ENTRY_NAME_MAX = 260,
    DATA_BLOCK_SIZE = 8192
};

#define PACKAGE_RESOURCE_NAME "MYRESOURCE"

// All integers little-endian; every comparison on them is signed.
struct PackageHeader {
    int32_t headerSize;     // 404
    int32_t formatVersion;  // 6
    int32_t payloadOffset;  // file offset of the first entry
    int32_t entryCount;
    int32_t packageLength;  // payloadOffset plus the length of every entry
    int32_t totalBlocks;    // sum of each entry's size / 8192, rounded up
    int32_t reserved;
    char storedPassword[PASSWORD_FIELD_SIZE];   // scrambled text fields
    char setupCommand[SETUP_COMMAND_FIELD_SIZE];
    char productTitle[PRODUCT_TITLE_FIELD_SIZE];
    char sourcePrefix[SOURCE_PREFIX_FIELD_SIZE];
};

static_assert(sizeof(PackageHeader) == PACKAGE_HEADER_SIZE, "header is 404 bytes");
static_assert(offsetof(PackageHeader, headerSize) == 0, "layout");
static_assert(offsetof(PackageHeader, formatVersion) == 4, "layout");
static_assert(offsetof(PackageHeader, payloadOffset) == 8, "layout");
static_assert(offsetof(PackageHeader, entryCount) == 12, "layout");
static_assert(offsetof(PackageHeader, packageLength) == 16, "layout");
static_assert(offsetof(PackageHeader, totalBlocks) == 20, "layout");
static_assert(offsetof(PackageHeader, reserved) == 24, "layout");
static_assert(offsetof(PackageHeader, storedPassword) == 28, "layout");
static_assert(offsetof(PackageHeader, setupCommand) == 68, "layout");
static_assert(offsetof(PackageHeader, productTitle) == 196, "layout");
static_assert(offsetof(PackageHeader, sourcePrefix) == 276, "layout");

// One entry of the payload, back to back, no alignment:
//   int32 nameLength (1..260) | name (scrambled, nameLength bytes)
//   | uint32 dosDateTime (low 16 bits date, high 16 bits time, local time)
//   | int32 size (> 0) | size bytes of data, stored raw
enum {
    ENTRY_NAME_OFFSET = 4,          // after nameLength
    ENTRY_FIXED_BYTES = 12          // nameLength, dosDateTime and size
};

static const unsigned char scrambleKey[8] = {0x5A, 0xC1, 0x3E, 0x97, 0x02, 0xD8, 0x64, 0xBB};

// Descrambles `length` bytes in place; position 0 is the buffer's first byte.
inline void UnscrambleField(void *buffer, int length)
{
    unsigned char *p = static_cast<unsigned char *>(buffer);
    for (int i = 0; i < length; i++) {
        unsigned k = i & 7, r = 7 - k;
        unsigned b = p[i] ^ scrambleKey[r];
        b = ((b >> r) | (b << (8 - r))) & 0xFF;
        p[i] = static_cast<unsigned char>(b ^ scrambleKey[k]);
    }
}

// The inverse of UnscrambleField: the writer's side.
inline void ScrambleField(void *buffer, int length)
{
    unsigned char *p = static_cast<unsigned char *>(buffer);
    for (int i = 0; i < length; i++) {
        unsigned k = i & 7, r = 7 - k;
        unsigned b = p[i] ^ scrambleKey[k];
        b = ((b << r) | (b >> (8 - r))) & 0xFF;
        p[i] = static_cast<unsigned char>(b ^ scrambleKey[r]);
    }
}

// Blocks of one entry: size / 8192, rounded up.
inline int32_t EntryBlockCount(int32_t size)
{
    return size / DATA_BLOCK_SIZE + (size % DATA_BLOCK_SIZE != 0);
}

// Integrity record, optional: written right after the last entry, at offset
// packageLength, where launchers that know nothing of it never look. A
// signature added later by a signing tool comes after it, so the record is
// found at packageLength and never by searching from the end of the file.
//   char signature[8] "SFXCRC32" | uint32 version (1) | int32 entryCount
//   | uint32 headerCrc (the 404 header bytes as stored)
//   | uint32 entryCrc[entryCount] (each entry as stored: nameLength, name,
//     dosDateTime, size and data)
//   | uint32 recordCrc (every byte of the record before it)
// All CRCs are CRC-32 (the polynomial of zip and PNG). A package with the
// record also carries a mark in the header's reserved field (see
// MarksIntegrityRecord below), so that a damaged signature cannot make the
// record look absent.
#define INTEGRITY_SIGNATURE "SFXCRC32"
enum {
    INTEGRITY_SIGNATURE_SIZE = 8,
    INTEGRITY_VERSION = 1,
    INTEGRITY_HEAD_BYTES = 20,      // signature, version, entryCount, headerCrc
    INTEGRITY_MARK = 0x49584653     // "SFXI" read as a little-endian int32
};

// The header's reserved field, read as a little-endian int32: 0 in a plain
// package; INTEGRITY_MARK when the integrity record follows the entries;
// EXIT_CODES_MARK when the package's exit code tells how the run ended (see
// the launcher's exit codes) and there is no record; INTEGRITY_EXIT_CODES_MARK
// for both. A launcher that knows none of them ignores the field.
//
// Or a feature word, the one way to declare anything newer: FEATURE_TAG in
// its low byte, FEATURE_* bits above it. Every reader asks PackageFeatures,
// which gives the same bits for the three marks above, so that they keep
// working beside it; a package with a bit that the reader does not know is
// one it cannot read (the launcher treats its header as damaged). The writer
// uses the marks for everything they can say, so that packages without a
// newer feature stay as they were.
enum {
    EXIT_CODES_MARK = 0x45584653,           // "SFXE"
    INTEGRITY_EXIT_CODES_MARK = 0x42584653, // "SFXB"

    FEATURE_TAG = 0x7F,
    FEATURE_INTEGRITY_RECORD = 1,
    FEATURE_EXIT_CODES = 2,
    FEATURE_LZMA_CHUNKS = 4,      // the payload is compressed (below); needs the record
    FEATURES_KNOWN = 7
};

// The FEATURE_* bits that `reserved` declares; 0 for a value that is neither
// a mark nor a feature word.
inline uint32_t PackageFeatures(int32_t reserved)
{
    switch (reserved) {
    case INTEGRITY_MARK:
        return FEATURE_INTEGRITY_RECORD;
    case EXIT_CODES_MARK:
        return FEATURE_EXIT_CODES;
    case INTEGRITY_EXIT_CODES_MARK:
        return FEATURE_INTEGRITY_RECORD | FEATURE_EXIT_CODES;
    }
    return (reserved & 0xFF) == FEATURE_TAG ? uint32_t(reserved) >> 8 : 0;
}

// 1 when the reader can read a package with these features: no unknown bit,
// and compression only with the record.
inline bool FeaturesReadable(uint32_t features)
{
    return (features & ~uint32_t(FEATURES_KNOWN)) == 0 &&
           (!(features & FEATURE_LZMA_CHUNKS) || (features & FEATURE_INTEGRITY_RECORD));
}

inline int32_t FeatureWord(uint32_t features)
{
    return int32_t(features << 8 | FEATURE_TAG);
}

inline bool MarksIntegrityRecord(int32_t reserved)
{
    return (PackageFeatures(reserved) & FEATURE_INTEGRITY_RECORD) != 0;
}

inline bool MarksExitCodes(int32_t reserved)
{
    return (PackageFeatures(reserved) & FEATURE_EXIT_CODES) != 0;
}

inline int32_t ReservedMark(bool integrityRecord, bool exitCodes)
{
    if (integrityRecord && exitCodes)
        return INTEGRITY_EXIT_CODES_MARK;
    if (integrityRecord)
        return INTEGRITY_MARK;
    if (exitCodes)
        return EXIT_CODES_MARK;
    return 0;
}

// A compressed package (FEATURE_LZMA_CHUNKS). Its entries are the entry
// stream: the bytes a plain package holds from payloadOffset to
// packageLength, laid out as above. At payloadOffset it holds instead:
//   CompressedHead (24 bytes)
//   | directory: the entry stream without the data, entry by entry
//     (nameLength, scrambled name, dosDateTime, size), so that the names and
//     sizes can be had without decoding: removal, list and the name checks
//     read it
//   | chunkCount chunks, each a ChunkHeader and packedSize bytes
// The last chunk ends at packageLength, where the integrity record begins.
// The entry stream is cut into pieces of at most chunkCapacity bytes, each
// compressed on its own (solid within it), so that the chunks can be made
// and read on several threads and a reader holds one chunk at a time.
// The header's totalBlocks counts the entries' blocks, as in a plain
// package; the record's entry CRCs are those of each entry of the entry
// stream, so that they are checked on the decoded bytes.
enum {
    COMPRESSED_HEAD_BYTES = 24,
    CHUNK_HEADER_BYTES = 20,
    CHUNK_METHOD_LZMA = 1,          // raw LZMA, with its end mark
    LZMA_PROPERTIES_SIZE = 5,       // (pb * 5 + lp) * 9 + lc, dictionary size
    // What a reader allocates at most, checked before it allocates: the
    // chunk's unpacked bytes (also the largest dictionary) and its packed ones.
    CHUNK_CAPACITY_MAX = 64 << 20
};

struct CompressedHead {
    int32_t unpackedLength;   // bytes of the entry stream, below 2 GiB
    int32_t directoryLength;  // bytes of the directory after this head
    int32_t chunkCount;       // at least 1
    int32_t chunkCapacity;    // the largest unpackedSize, 1..CHUNK_CAPACITY_MAX
    int32_t packedCapacity;   // the largest packedSize, 1..ChunkPackedBound(chunkCapacity)
    uint32_t headCrc;         // CRC-32 of the 20 bytes before it and of the directory
};
static_assert(sizeof(CompressedHead) == COMPRESSED_HEAD_BYTES, "the compressed head is 24 bytes");

struct ChunkHeader {
    uint8_t method;           // CHUNK_METHOD_LZMA
    uint8_t properties[LZMA_PROPERTIES_SIZE];  // lc <= 8, lp <= 4, pb <= 4; dictionary at most CHUNK_CAPACITY_MAX
    uint8_t zero[2];
    int32_t packedSize;       // 1..packedCapacity
    int32_t unpackedSize;     // 1..chunkCapacity; every chunk but the last holds chunkCapacity
    uint32_t crc;             // CRC-32 of the 16 bytes before it and of the packed bytes
};
static_assert(sizeof(ChunkHeader) == CHUNK_HEADER_BYTES, "a chunk header is 20 bytes");
static_assert(offsetof(ChunkHeader, packedSize) == 8, "layout");

// The most packed bytes a sound chunk of `unpacked` bytes takes: LZMA
// grows what it cannot shrink by well under 1/16.
inline int64_t ChunkPackedBound(int64_t unpacked)
{
    return unpacked + unpacked / 16 + 4096;
}

// The LZMA dictionary size of a chunk's properties.
inline uint32_t ChunkDictionarySize(const uint8_t *properties)
{
    return properties[1] | properties[2] << 8 | properties[3] << 16 | uint32_t(properties[4]) << 24;
}

// The record's fixed head, as stored; the entry CRCs follow it.
struct IntegrityRecordHead {
    char signature[INTEGRITY_SIGNATURE_SIZE];
    uint32_t version;
    int32_t entryCount;
    uint32_t headerCrc;
};
static_assert(sizeof(IntegrityRecordHead) == INTEGRITY_HEAD_BYTES, "the head of the record is 20 bytes");

// Bytes of a record for `entryCount` entries.
inline int64_t IntegrityRecordSize(int32_t entryCount)
{
    return INTEGRITY_HEAD_BYTES + 4 * int64_t(entryCount) + 4;
}

#endif
