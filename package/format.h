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
enum {
    EXIT_CODES_MARK = 0x45584653,           // "SFXE"
    INTEGRITY_EXIT_CODES_MARK = 0x42584653  // "SFXB"
};

inline bool MarksIntegrityRecord(int32_t reserved)
{
    return reserved == INTEGRITY_MARK || reserved == INTEGRITY_EXIT_CODES_MARK;
}

inline bool MarksExitCodes(int32_t reserved)
{
    return reserved == EXIT_CODES_MARK || reserved == INTEGRITY_EXIT_CODES_MARK;
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
