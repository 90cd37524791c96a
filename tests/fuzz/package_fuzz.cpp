// libFuzzer harness over everything that reads an untrusted package: the
// resource walk, the header and entry reader behind list, verify with the
// integrity record, and extract's use of the shared name rules
// (package/names.h) and of the launcher (entry_name.h), which it also runs
// on the raw input.
#include <cstdio>

#include "sfxpack/common/codepage.h"
#include "sfxpack/read/entry_name.h"
#include "sfxpack/read/integrity.h"
#include "sfxpack/read/verify.h"

namespace {

struct LeadBytes {
    sfxpack::Bytes singleRanges = sfxpack::LeadByteRanges(1252), doubleRanges = sfxpack::LeadByteRanges(932);
    const unsigned char *single = singleRanges.data(), *doubleByte = doubleRanges.data();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const LeadBytes lead;
    static std::FILE *sink = std::fopen("/dev/null", "w");
    sfxpack::Bytes bytes(data, data + size);
    sfxpack::MemorySource file(bytes), recordFile(bytes);
    std::string error;

    sfxpack::ListPackage(file, 1252, true, sink, &error);
    sfxpack::VerifyResult verified;
    sfxpack::VerifyPackage(file, recordFile, 932, &verified, &error);

    sfxpack::ParsedPackage parsed;
    sfxpack::ParsePackage(bytes, &parsed, &error);
    std::vector<std::string> components;
    for (const sfxpack::ParsedEntry &entry : parsed.entries) {
        sfxpack::DestinationComponents(entry.name, parsed.sourcePrefix, 1252, lead.single, &components, &error);
        sfxpack::DestinationComponents(entry.name, parsed.sourcePrefix, 932, lead.doubleByte, &components, &error);
        sfxpack::DisplayName(entry.name, 932);
    }
    // The name rules on raw bytes too, split anywhere into name and prefix.
    if (size > 0 && size <= 600) {
        std::string text(reinterpret_cast<const char *>(data), size);
        size_t cut = data[0] % (size + 1);
        std::string prefix = text.substr(0, cut), name = text.substr(cut);
        sfxpack::DestinationComponents(name, prefix, 932, lead.doubleByte, &components, &error);
        sfxpack::DestinationComponents(name, prefix, 1252, lead.single, &components, &error);
        sfxpack::EscapeForLine(text);
    }
    return 0;
}
