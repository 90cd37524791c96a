// `sfxpack verify`: the whole package checked as the launcher reads it, and
// against the integrity record when it has one.
#include "sfxpack/read/verify.h"

#include "sfxpack/read/integrity.h"

namespace sfxpack {

bool VerifyPackage(Source &file, Source &recordFile, int codePage, VerifyResult *result, std::string *error)
{
    *result = VerifyResult();
    ParsedPackage parsed;
    if (!ReadPackageHeader(file, &parsed, error))
        return false;
    const PackageHeader &header = parsed.header;
    IntegrityRecord record;
    if (!ReadIntegrityMark(recordFile, parsed, &result->recordPresent, &record, error))
        return false;
    return WalkEntries(
        file, parsed,
        [&](const ParsedEntry &entry, int32_t index, std::string *fault) {
            result->entries++;
            if (!result->recordPresent)
                return true;
            uint32_t stored, computed;
            if (!ReadEntryCrc(recordFile, record, index, &stored, fault) ||
                !ReadEntryBytes(file, entry, nullptr, &computed, fault))
                return false;
            if (computed != stored) {
                *fault = EntryPlace(index, header.entryCount) + DisplayName(entry.name, codePage) + ": " +
                         EntryCrcFault(entry, stored, computed);
                return false;
            }
            return true;
        },
        error);
}

}  // namespace sfxpack
