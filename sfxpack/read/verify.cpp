// `sfxpack verify`: the whole package checked as the launcher reads it, and
// against the integrity record when it has one.
#include "sfxpack/read/verify.h"

#include "sfxpack/common/codepage.h"
#include "sfxpack/read/decoded_source.h"
#include "sfxpack/read/entry_name.h"
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
    std::unique_ptr<DecodedSource> decoded;
    Source *entries;
    if (!OpenEntries(file, parsed, &decoded, &entries, error))
        return false;
    Bytes leadByteRanges = LeadByteRanges(codePage);
    size_t directoryAt = 0;
    EntryNames names;
    bool walked = WalkEntries(
        *entries, parsed,
        [&](const ParsedEntry &entry, int32_t index, std::string *fault) {
            std::string place = EntryPlace(index, header.entryCount) + DisplayName(entry.name, codePage);
            std::string relative, why;
            if (!CheckStoredName(entry.name, parsed.sourcePrefix, leadByteRanges.data(), &relative, &why)) {
                *fault = place + ": the launcher refuses it: " + why;
                return false;
            }
            // A file and a folder of one name fail the launcher's writes;
            // two files of one name are one file there, the later one.
            std::vector<std::string> components;
            NameClash clash;
            std::string clashText;
            if (DestinationComponents(entry.name, parsed.sourcePrefix, codePage, leadByteRanges.data(),
                                      &components, &why) &&
                !names.Add(components, place, &clash, &clashText, fault))
                return false;
            if (clash.kind == NameClash::FILE_AND_FOLDER) {
                *fault = place + ": the launcher cannot write it: " + clashText;
                return false;
            }
            if (clash.kind != NameClash::NONE)
                result->warnings.push_back(place + ": " + clashText);
            if (relative.size() > result->longestPath) {
                result->longestPath = relative.size();
                result->longestEntry = place;
            }
            // Removal finds the names in the directory: they must be those
            // that extraction writes.
            if (decoded && !MatchesDirectory(*entries, entry, decoded->Directory(), &directoryAt, fault)) {
                *fault = place + ": " + *fault;
                return false;
            }
            result->entries++;
            if (!result->recordPresent)
                return true;
            uint32_t stored, computed;
            if (!ReadEntryCrc(recordFile, record, index, &stored, fault) ||
                !ReadEntryBytes(*entries, entry, nullptr, &computed, fault))
                return false;
            if (computed != stored) {
                *fault = place + ": " + EntryCrcFault(entry, stored, computed);
                return false;
            }
            return true;
        },
        error);
    if (walked && decoded && directoryAt != decoded->Directory().size()) {
        *error = "the directory holds " + std::to_string(decoded->Directory().size() - directoryAt) +
                 " bytes after the fields of the last entry";
        return false;
    }
    return walked;
}

}  // namespace sfxpack
