// The package writer's library: builds a package from a launcher stub and a
// list of entries. The command-line tool uses it for real packages; tests use
// it to write deliberately malformed ones.
#ifndef SFXPACK_WRITER_H
#define SFXPACK_WRITER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sfxpack {

using Bytes = std::vector<unsigned char>;

// One stored file. `name` is the full stored name in the target ANSI code
// page, prefix included, backslash separators, not yet scrambled.
struct Entry {
    std::string name;
    Bytes data;
    uint32_t dosDateTime = 0;
    // Raw field values written instead of the true ones (malformed packages).
    std::optional<int32_t> nameLength;
    std::optional<int32_t> size;
};

// Text fields are in the target ANSI code page, unscrambled.
struct Package {
    std::string password;
    std::string setupCommand;
    std::string productTitle;
    std::string sourcePrefix;
    std::vector<Entry> entries;

    // Raw header values written instead of the computed ones.
    std::optional<int32_t> headerSize;
    std::optional<int32_t> formatVersion;
    std::optional<int32_t> payloadOffset;
    std::optional<int32_t> entryCount;
    std::optional<int32_t> packageLength;
    std::optional<int32_t> totalBlocks;
    // Raw 40/128/80/128-byte field contents, scrambled as given (no NUL added).
    std::optional<Bytes> rawPasswordField;
    std::optional<Bytes> rawSetupCommandField;
    std::optional<Bytes> rawProductTitleField;
    std::optional<Bytes> rawSourcePrefixField;
    // The size recorded for the header resource in the stub's resource
    // directory (404 normally), and whether the resource is hidden by renaming.
    std::optional<uint32_t> resourceSize;
    bool hideResource = false;
    // Cut the finished package to this many bytes.
    std::optional<size_t> truncateAt;
};

// Where the 404-byte header resource lies in a stub.
struct ResourceLocation {
    size_t fileOffset = 0;       // of the resource data
    uint32_t size = 0;           // as recorded in the resource directory
    size_t sizeFieldOffset = 0;  // file offset of that recorded size
    size_t nameOffset = 0;       // file offset of the name string (UTF-16)
};

// Walks the PE resource directory for type 1024, name "MYRESOURCE".
bool FindHeaderResource(const Bytes &stub, ResourceLocation *location, std::string *error);

// Builds the package bytes. Validates nothing that the overrides set on
// purpose; the checks a user needs are made by the command-line layer.
bool BuildPackage(const Bytes &stub, const Package &package, Bytes *out, std::string *error);

// MS-DOS date (low 16 bits) and time (high 16 bits) of a Unix time, in the
// build machine's local time, clamped to 1980-01-01 .. 2107-12-31 23:59:58.
uint32_t DosDateTimeFromUnix(int64_t unixTime);

bool ReadFileBytes(const std::string &path, Bytes *out, std::string *error);
// Writes through a temporary file and a rename, so that no half-written
// package is ever left at `path`.
bool WriteFileAtomically(const std::string &path, const Bytes &bytes, std::string *error);

}  // namespace sfxpack

#endif
