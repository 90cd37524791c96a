// The integrity record read back (layout in package/format.h), and the
// reading of an entry's bytes with their CRC-32, which verify and extract
// share.
#ifndef SFXPACK_INTEGRITY_H
#define SFXPACK_INTEGRITY_H

#include "sfxpack/read/reader.h"

namespace sfxpack {

struct IntegrityRecord {
    uint64_t offset = 0;  // packageLength
    uint32_t headerCrc = 0;
};

// Checks the record at packageLength: whole within the file, signature,
// version, entry count equal to the header's, and its own CRC, which is
// computed by reading the record in pieces. Then checks the header's CRC.
bool ReadIntegrityRecord(Source &file, const ParsedPackage &parsed, IntegrityRecord *record, std::string *error);

// The header's reserved field: 0 or one of the marks of package/format.h,
// any other value is a fault. A record is present, and read as above, when the mark is set or
// its signature stands at packageLength, as the launcher decides.
bool ReadIntegrityMark(Source &file, const ParsedPackage &parsed, bool *present, IntegrityRecord *record,
                       std::string *error);

// The CRC that the record holds for entry `index` (from 0).
bool ReadEntryCrc(Source &file, const IntegrityRecord &record, int32_t index, uint32_t *crc, std::string *error);

// Receives an entry's data, piece by piece, in order.
using DataSink = std::function<bool(const unsigned char *data, size_t length, std::string *error)>;

// Reads the whole of `entry` as stored (fixed fields, scrambled name, data)
// in large pieces, passing the data to `sink`; `crc` gets the CRC-32 of all
// of it, the value the record keeps for the entry.
bool ReadEntryBytes(Source &file, const ParsedEntry &entry, const DataSink &sink, uint32_t *crc,
                    std::string *error);

// A CRC-32 or a field for messages, as 0x%08X.
std::string Hex32(uint32_t value);

// The fault of an entry whose bytes do not give the CRC the record holds.
std::string EntryCrcFault(const ParsedEntry &entry, uint32_t stored, uint32_t computed);

// An entry's name for messages: converted from `codePage` to UTF-8 and
// escaped; bytes that do not convert are shown as \xNN.
std::string DisplayName(const std::string &ansi, int codePage);

}  // namespace sfxpack

#endif
