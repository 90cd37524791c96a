// Reading a package piece by piece, the way the launcher does: what the
// list, verify and extract commands share. Memory stays bounded whatever the
// package's size; every fault names the entry, the field and its offset.
#ifndef SFXPACK_READER_H
#define SFXPACK_READER_H

#include <cstdio>
#include <functional>

#include "sfxpack/read/source.h"
#include "sfxpack/common/bytes.h"
#include "package/format.h"
#include "sfxpack/pe/pe_resource.h"

namespace sfxpack {

// A package read back. Offsets are file offsets.
struct ParsedEntry {
    uint64_t offset = 0;  // of nameLength
    int32_t nameLength = 0;
    std::string name;   // descrambled, ANSI
    uint32_t dosDateTime = 0;
    int32_t size = 0;
    uint64_t dataOffset = 0;
};

struct ParsedPackage {
    ResourceLocation resource;
    bool headerRead = false;  // the fields below are valid
    PackageHeader header{};   // the 404 bytes as stored, texts scrambled
    std::string password, setupCommand, productTitle, sourcePrefix;
    uint64_t fileLength = 0;
    std::vector<ParsedEntry> entries;  // every entry read whole (ParsePackage only)
};

// Reads a package in memory the way the launcher does and checks it against
// what the writer makes; the functions below read files piece by piece. On
// failure `parsed` holds everything read before the fault and `error` names
// the entry, the field and its offset.
bool ParsePackage(const Bytes &file, ParsedPackage *parsed, std::string *error);

// The leading part of `file` that its PE headers and every section's raw
// data span, which is all that FindHeaderResource looks at; at most 64 MiB,
// else an error.
bool ReadImagePart(Source &file, Bytes *image, std::string *error);

// Finds the header resource and reads the header and its four texts; then
// checks entryCount and payloadOffset. `parsed->headerRead` tells whether
// the header could be read even when a later check failed.
bool ReadPackageHeader(Source &file, ParsedPackage *parsed, std::string *error);

// Called for each entry whose fixed fields and name have been read and whose
// data lies within the file, unread; `index` counts from 0.
using EntryVisitor = std::function<bool(const ParsedEntry &entry, int32_t index, std::string *error)>;

// Walks the entries in stored order, then checks packageLength and
// totalBlocks against them. Stops at the first fault, or when `visit` fails.
bool WalkEntries(Source &file, const ParsedPackage &parsed, const EntryVisitor &visit, std::string *error);

// Walks a compressed package's directory as WalkEntries walks entries, in
// the same order and with the same checks, but with no data: offsets are
// those in the directory, and `dataOffset` is where the data would follow.
bool WalkDirectory(const Bytes &directory, const ParsedPackage &parsed, const EntryVisitor &visit,
                   std::string *error);

// "entry 2 of 5: ", the start of every fault of one entry.
std::string EntryPlace(int32_t index, int32_t count);

// Prints to `out` what `sfxpack list` shows, line by line as the package is
// read: one "field: value" line per header field, then one line per entry,
// "entry: SIZE YYYY-MM-DD HH:MM:SS NAME". Texts and names are converted back
// to UTF-8 and escaped (EscapeForLine). On failure the lines for what could
// be read have been printed and `error` holds the fault.
bool ListPackage(Source &file, int codePage, bool showPassword, std::FILE *out, std::string *error);

// Makes UTF-8 text safe for one line of output: a byte below 0x20 and 0x7F
// become \xNN, and so do the bytes of the other control and line-breaking
// characters (U+0080 to U+009F, U+2028, U+2029) and a backslash that would
// otherwise read as the start of such an escape; so \x and two hex digits
// always are an escape, and every other backslash is itself.
std::string EscapeForLine(const std::string &utf8);

}  // namespace sfxpack

#endif
