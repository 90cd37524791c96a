// The package writer's library: builds a package from a launcher stub and a
// list of entries. The command-line tool uses it for real packages; tests use
// it to write deliberately malformed ones.
#ifndef SFXPACK_WRITE_PACKAGE_H
#define SFXPACK_WRITE_PACKAGE_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "package/format.h"
#include "sfxpack/common/bytes.h"

namespace sfxpack {

// One stored file. `name` is the full stored name in the target ANSI code
// page, prefix included, backslash separators, not yet scrambled.
struct Entry {
    std::string name;
    Bytes data;
    uint32_t dosDateTime = 0;
    // Raw field values written instead of the true ones (malformed packages).
    // The name and data bytes written are always `name` and `data`.
    std::optional<int32_t> nameLength;
    std::optional<int32_t> size;
    // Instead of `data`: the first `sourceSize` bytes of this file (UTF-8
    // path), read only while the package is written. The file must still
    // hold exactly that many bytes then.
    std::string sourcePath;
    int64_t sourceSize = 0;
};

// Bytes of data an entry stores.
inline int64_t DataSize(const Entry &entry)
{
    return entry.sourcePath.empty() ? int64_t(entry.data.size()) : entry.sourceSize;
}

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
    // A shorter content is followed by zero bytes up to the field's width
    // before the whole width is scrambled; a longer one is an error.
    std::optional<Bytes> rawPasswordField;
    std::optional<Bytes> rawSetupCommandField;
    std::optional<Bytes> rawProductTitleField;
    std::optional<Bytes> rawSourcePrefixField;
    // The size recorded for the header resource in the stub's resource
    // directory (404 normally), and whether the resource is hidden by renaming.
    std::optional<uint32_t> resourceSize;
    bool hideResource = false;
    // Append the integrity record after the last entry and mark the header.
    bool integrityRecord = false;
    // Mark the header so that the launcher's exit code tells how the run ended.
    bool exitCodes = false;
    // Compress the entries in chunks of `chunkSize` bytes of the entry stream
    // (see package/format.h), on `threads` threads (0: one a core); needs
    // the integrity record.
    bool compress = false;
    size_t chunkSize = CHUNK_CAPACITY_MAX;
    unsigned threads = 0;
    // Set the stub's image checksum to that of the whole package: for a stub
    // whose resources were rebuilt. A stub as shipped keeps its own.
    bool imageChecksum = false;
    // Cut the finished package to this many bytes.
    std::optional<size_t> truncateAt;
};

// Builds the package bytes. Validates nothing that the overrides set on
// purpose; the checks a user needs are made by the command-line layer.
// Entries with a `sourcePath` are read from their files. Fails only when the
// stub has no placeholder of at least 404 bytes, a text or raw field does not
// fit its width, a computed header value passes 2 GiB, `truncateAt` lies
// beyond the package, or a source file cannot be read or no longer has its
// size.
bool BuildPackage(const Bytes &stub, const Package &package, Bytes *out, std::string *error);

// Entry data is read and written in pieces of this size.
enum { COPY_CHUNK_SIZE = 1 << 20 };

// Called after each piece of entry data written: the entry being written,
// the entries finished before it and the data bytes written so far.
using ProgressCallback = std::function<void(const Entry &current, size_t entriesDone, int64_t bytesDone)>;

// Writes the same bytes as BuildPackage straight to `path`, through a
// temporary file and a rename, holding no more than four chunks of entry
// data in memory; a second thread writes while the next chunk is read.
// Fails, leaving nothing at `path`, when a source file cannot be read or no
// longer has its size; `truncateAt` is not supported.
bool WritePackageFile(const Bytes &stub, const Package &package, const std::string &path,
                      const ProgressCallback &progress, std::string *error);

// Appends the integrity record (see package/format.h) for entries with the
// given CRCs; `entryCount` is written as the header holds it.
void AppendIntegrityRecord(Bytes *out, int32_t entryCount, uint32_t headerCrc, const std::vector<uint32_t> &entryCrcs);

}  // namespace sfxpack

#endif
