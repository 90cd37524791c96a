// Reading the integrity record and the bytes it covers.
#include "sfxpack/read/integrity.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "package/crc32.h"
#include "sfxpack/common/little_endian.h"

namespace sfxpack {

namespace {

bool SignatureAt(Source &file, uint64_t at)
{
    char signature[INTEGRITY_SIGNATURE_SIZE];
    std::string ignored;
    return at <= file.Size() && sizeof signature <= file.Size() - at &&
           file.Read(at, signature, sizeof signature, &ignored) &&
           std::memcmp(signature, INTEGRITY_SIGNATURE, INTEGRITY_SIGNATURE_SIZE) == 0;
}

}  // namespace

bool ReadIntegrityRecord(Source &file, const ParsedPackage &parsed, IntegrityRecord *record, std::string *error)
{
    const PackageHeader &header = parsed.header;
    uint64_t at = uint64_t(header.packageLength);
    uint64_t size = uint64_t(IntegrityRecordSize(header.entryCount));
    std::string place = "integrity record at offset " + std::to_string(at) + ": ";
    if (at > file.Size() || size > file.Size() - at) {
        *error = place + "the file ends after " + std::to_string(at < file.Size() ? file.Size() - at : 0) + " of " +
                 std::to_string(size) + " bytes";
        return false;
    }
    IntegrityRecordHead head;
    if (!file.Read(at, &head, sizeof head, error))
        return false;
    if (std::memcmp(head.signature, INTEGRITY_SIGNATURE, INTEGRITY_SIGNATURE_SIZE) != 0) {
        *error = place + "no signature " INTEGRITY_SIGNATURE;
        return false;
    }
    if (head.version != INTEGRITY_VERSION) {
        *error = place + "version is " + std::to_string(head.version) + ", not " + std::to_string(INTEGRITY_VERSION);
        return false;
    }
    if (head.entryCount != header.entryCount) {
        *error = place + "entryCount is " + std::to_string(head.entryCount) + ", but the header says " +
                 std::to_string(header.entryCount);
        return false;
    }
    uint32_t crc = 0;
    if (!file.Stream(
            at, size - 4,
            [&crc](const unsigned char *data, size_t length, std::string *) {
                crc = Crc32Update(crc, data, length);
                return true;
            },
            error))
        return false;
    unsigned char stored[4];
    if (!file.Read(at + size - 4, stored, 4, error))
        return false;
    if (Load32(stored) != crc) {
        *error = place + "its own CRC-32 is " + Hex32(Load32(stored)) + ", but its bytes give " + Hex32(crc);
        return false;
    }
    record->offset = at;
    record->headerCrc = head.headerCrc;
    uint32_t headerCrc = Crc32Update(0, &header, sizeof header);
    if (headerCrc != record->headerCrc) {
        *error = "header at offset " + std::to_string(parsed.resource.fileOffset) + ": its CRC-32 is " +
                 Hex32(headerCrc) + ", but the integrity record holds " + Hex32(record->headerCrc);
        return false;
    }
    return true;
}

bool ReadIntegrityMark(Source &file, const ParsedPackage &parsed, bool *present, IntegrityRecord *record,
                       std::string *error)
{
    const PackageHeader &header = parsed.header;
    uint32_t features = PackageFeatures(header.reserved);
    std::string field = "header: reserved at offset " +
                        std::to_string(parsed.resource.fileOffset + offsetof(PackageHeader, reserved)) + " is " +
                        std::to_string(header.reserved);
    if (header.reserved != 0 && features == 0) {
        *error = field + ", neither 0 nor a mark the writer sets; the launcher would take it for 0";
        return false;
    }
    if (!FeaturesReadable(features)) {
        *error = field + ": features " + Hex32(features) +
                 " that neither this sfxpack nor the launcher can read; the launcher would refuse the package";
        return false;
    }
    // As the launcher has it: the mark or the signature at packageLength
    // means a record, which must then check out.
    *present = MarksIntegrityRecord(header.reserved) || SignatureAt(file, uint64_t(header.packageLength));
    return !*present || ReadIntegrityRecord(file, parsed, record, error);
}

bool ReadEntryCrc(Source &file, const IntegrityRecord &record, int32_t index, uint32_t *crc, std::string *error)
{
    unsigned char stored[4];
    if (!file.Read(record.offset + INTEGRITY_HEAD_BYTES + 4 * uint64_t(index), stored, 4, error))
        return false;
    *crc = Load32(stored);
    return true;
}

bool ReadEntryBytes(Source &file, const ParsedEntry &entry, const DataSink &sink, uint32_t *crc,
                    std::string *error)
{
    unsigned char fixed[ENTRY_FIXED_BYTES + ENTRY_NAME_MAX];
    size_t fixedLength = size_t(entry.dataOffset - entry.offset);
    if (!file.Read(entry.offset, fixed, fixedLength, error))
        return false;
    uint32_t sum = Crc32Update(0, fixed, fixedLength);
    if (!file.Stream(
            entry.dataOffset, uint64_t(entry.size),
            [&](const unsigned char *data, size_t length, std::string *failure) {
                sum = Crc32Update(sum, data, length);
                return !sink || sink(data, length, failure);
            },
            error))
        return false;
    *crc = sum;
    return true;
}

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(value));
    return text;
}

std::string EntryCrcFault(const ParsedEntry &entry, uint32_t stored, uint32_t computed)
{
    return "its " + std::to_string(entry.dataOffset + entry.size - entry.offset) + " bytes at offset " +
           std::to_string(entry.offset) + " give CRC-32 " + Hex32(computed) + ", but the integrity record holds " +
           Hex32(stored);
}

}  // namespace sfxpack
