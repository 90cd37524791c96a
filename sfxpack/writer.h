// The package writer's library: builds a package from a launcher stub and a
// list of entries. The command-line tool uses it for real packages; tests use
// it to write deliberately malformed ones.
#ifndef SFXPACK_WRITER_H
#define SFXPACK_WRITER_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "package/format.h"

namespace sfxpack {

using Bytes = std::vector<unsigned char>;

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
// `nameOffset` is the offset of the name's first UTF-16 character (after its
// length word). Fails when the name has more than one language, since the
// launcher's FindResourceA would then pick one by the user's language.
bool FindHeaderResource(const Bytes &stub, ResourceLocation *location, std::string *error);

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

// MS-DOS date (low 16 bits) and time (high 16 bits) of a Unix time, in the
// build machine's local time, clamped to 1980-01-01 .. 2107-12-31 23:59:58.
uint32_t DosDateTimeFromUnix(int64_t unixTime);
// "YYYY-MM-DD HH:MM:SS" from the stored bit fields, whether valid or not.
std::string FormatDosDateTime(uint32_t dosDateTime);

// Opens by UTF-8 path, in binary mode on Windows; -1 and errno on failure.
int OpenFile(const std::string &path, int flags);
// Writes all of `data` in pieces of at most 256 KiB; 0, or the errno of the
// failed write.
int WriteAll(int fd, const unsigned char *data, size_t length);
bool ReadFileBytes(const std::string &path, Bytes *out, std::string *error);
// A package is written to a temporary file beside `path` and renamed over it
// only when complete, so that no half-written package is ever left there.
// CreateTemporary gives the descriptor, open for reading and writing, and
// its name; FinishTemporary closes and renames it, DiscardTemporary closes
// and removes it.
int CreateTemporary(const std::string &path, std::string *temporary, std::string *error);
bool FinishTemporary(int fd, const std::string &temporary, const std::string &path, std::string *error);
void DiscardTemporary(int fd, const std::string &temporary);

// Conversions between the build machine's UTF-8 and an ANSI code page
// (1252, 932, ...). A character the code page cannot hold is refused, never
// replaced by a look-alike or '?'. The error names the character.
bool Utf8ToCodePage(const std::string &utf8, int codePage, std::string *out, std::string *error);
bool CodePageToUtf8(const std::string &text, int codePage, std::string *out, std::string *error);
// The lead bytes of `codePage` as package/names.h takes them: pairs of first
// and last byte, ended by a zero pair (the zero pair alone when it has none).
Bytes LeadByteRanges(int codePage);

// Bytes of a launcher path left for the working directory once a name's
// relative path is appended; fewer than this draws a warning.
enum { WORKING_DIR_RESERVE = 64, LAUNCHER_PATH_MAX = 259 };

// What `sfxpack create` is given; paths and texts in UTF-8.
struct CreateOptions {
    std::string directory;
    std::string outputPath;
    std::string stubPath;
    std::string setupCommand;
    std::string productTitle;
    std::string password;
    std::string sourcePrefix;  // a backslash is appended when it lacks one
    int codePage = 1252;
    bool integrityRecord = true;
    // Store what symbolic links point to instead of refusing them.
    bool followLinks = false;
    // Leave empty files out, with a warning each, instead of refusing them.
    bool skipEmpty = false;
    // No progress line, even on a terminal.
    bool quiet = false;
};

// Collects every regular file below `options.directory` into `entries`
// (data left on disk: `sourcePath` and `sourceSize`), sorted by stored name
// bytes, each name `ansiPrefix` plus the relative path with backslashes,
// converted to `options.codePage`. Refuses, naming the file, everything the
// launcher could not extract; the entries will start at `payloadOffset`,
// which counts towards the 2 GiB package limit. Warnings (long relative
// paths, skipped empty files) are appended to `warnings`.
bool CollectEntries(const CreateOptions &options, const std::string &ansiPrefix, int64_t payloadOffset,
                    std::vector<Entry> *entries, std::vector<std::string> *warnings, std::string *error);

// Converts and checks the texts, checks the stub's placeholder, collects the
// directory and writes the package atomically, showing progress on a
// terminal. Nothing is left at `outputPath` on failure.
bool CreatePackage(const CreateOptions &options, std::vector<std::string> *warnings, std::string *error);

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
// what the writer makes; sfxpack/reader.h reads files piece by piece. On
// failure `parsed` holds everything read before the fault and `error` names
// the entry, the field and its offset.
bool ParsePackage(const Bytes &file, ParsedPackage *parsed, std::string *error);

}  // namespace sfxpack

#endif
