// Reads a package back the way the launcher does, and checks it against
// what the writer makes. Every fault names its place in the file.
#include "sfxpack/read/reader.h"
#include "sfxpack/read/decoded_source.h"

#include <cstddef>
#include <cstring>

namespace sfxpack {

namespace {

struct Reader {
    Source &file;
    std::string *error;

    bool Fail(const std::string &why)
    {
        *error = why;
        return false;
    }

    // `length` bytes at `offset`, or a report of how many the file still has.
    bool Take(const std::string &what, uint64_t offset, uint64_t length)
    {
        uint64_t size = file.Size();
        if (offset <= size && length <= size - offset)
            return true;
        uint64_t present = offset < size ? size - offset : 0;
        return Fail(what + " at offset " + std::to_string(offset) + ": the file ends after " +
                    std::to_string(present) + " of " + std::to_string(length) + " bytes");
    }

    bool U32(const std::string &what, uint64_t offset, uint32_t *value)
    {
        unsigned char b[4];
        if (!Take(what, offset, 4) || !file.Read(offset, b, 4, error))
            return false;
        *value = b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24;
        return true;
    }
};

// Descrambles one text field over its full width; the text ends at the NUL.
bool ReadTextField(const char *field, int width, const char *name, size_t offset, std::string *text,
                   std::string *error)
{
    char buffer[SOURCE_PREFIX_FIELD_SIZE];
    std::memcpy(buffer, field, width);
    UnscrambleField(buffer, width);
    const void *nul = std::memchr(buffer, 0, width);
    if (!nul) {
        *error = std::string("header: ") + name + " at offset " + std::to_string(offset) + " holds no NUL within its " +
                 std::to_string(width) + " bytes; the launcher would cut it to " + std::to_string(width - 1);
        return false;
    }
    text->assign(buffer, static_cast<const char *>(nul) - buffer);
    return true;
}

std::string HeaderField(const char *name, size_t offset, int32_t value)
{
    return std::string("header: ") + name + " at offset " + std::to_string(offset) + " is " + std::to_string(value);
}

}  // namespace

std::string EntryPlace(int32_t index, int32_t count)
{
    return "entry " + std::to_string(index + 1) + " of " + std::to_string(count) + ": ";
}

bool ReadPackageHeader(Source &file, ParsedPackage *parsed, std::string *error)
{
    *parsed = ParsedPackage();
    parsed->fileLength = file.Size();
    Reader reader{file, error};
    std::string why;
    Bytes image;
    if (!ReadImagePart(file, &image, &why) || !FindHeaderResource(image, &parsed->resource, &why))
        return reader.Fail("no header resource (" PACKAGE_RESOURCE_NAME " of type " +
                           std::to_string(PACKAGE_RESOURCE_TYPE) + "): " + why);
    size_t base = parsed->resource.fileOffset;
    if (parsed->resource.size < PACKAGE_HEADER_SIZE)
        return reader.Fail("header: the resource at offset " + std::to_string(base) + " is " +
                           std::to_string(parsed->resource.size) + " bytes, fewer than " +
                           std::to_string(PACKAGE_HEADER_SIZE));

    PackageHeader &header = parsed->header;
    std::memcpy(&header, &image[base], sizeof header);
    if (header.headerSize != PACKAGE_HEADER_SIZE)
        return reader.Fail(HeaderField("headerSize", base + offsetof(PackageHeader, headerSize), header.headerSize) +
                           ", not " + std::to_string(PACKAGE_HEADER_SIZE));
    if (header.formatVersion != PACKAGE_FORMAT_VERSION)
        return reader.Fail(HeaderField("formatVersion", base + offsetof(PackageHeader, formatVersion),
                                       header.formatVersion) +
                           ", not " + std::to_string(PACKAGE_FORMAT_VERSION));
    if (!ReadTextField(header.storedPassword, PASSWORD_FIELD_SIZE, "storedPassword",
                       base + offsetof(PackageHeader, storedPassword), &parsed->password, error) ||
        !ReadTextField(header.setupCommand, SETUP_COMMAND_FIELD_SIZE, "setupCommand",
                       base + offsetof(PackageHeader, setupCommand), &parsed->setupCommand, error) ||
        !ReadTextField(header.productTitle, PRODUCT_TITLE_FIELD_SIZE, "productTitle",
                       base + offsetof(PackageHeader, productTitle), &parsed->productTitle, error) ||
        !ReadTextField(header.sourcePrefix, SOURCE_PREFIX_FIELD_SIZE, "sourcePrefix",
                       base + offsetof(PackageHeader, sourcePrefix), &parsed->sourcePrefix, error))
        return false;
    parsed->headerRead = true;

    if (header.entryCount <= 0)
        return reader.Fail(HeaderField("entryCount", base + offsetof(PackageHeader, entryCount), header.entryCount) +
                           "; at least 1 is needed");
    if (header.payloadOffset < 0 || uint64_t(header.payloadOffset) > file.Size())
        return reader.Fail(HeaderField("payloadOffset", base + offsetof(PackageHeader, payloadOffset),
                                       header.payloadOffset) +
                           ", outside the file of " + std::to_string(file.Size()) + " bytes");
    return true;
}

namespace {

// Walks from `at`: the entries with their data, or a compressed package's
// directory, which holds the same fields without the data.
bool Walk(Source &file, const ParsedPackage &parsed, uint64_t at, bool withData, const EntryVisitor &visit,
          std::string *error)
{
    Reader reader{file, error};
    const PackageHeader &header = parsed.header;
    size_t base = parsed.resource.fileOffset;
    int64_t blocks = 0;
    ParsedEntry parsedEntry;
    for (int32_t i = 0; i < header.entryCount; i++) {
        std::string entry = EntryPlace(i, header.entryCount);
        parsedEntry.offset = at;
        uint32_t value;
        if (!reader.U32(entry + "nameLength", at, &value))
            return false;
        parsedEntry.nameLength = static_cast<int32_t>(value);
        if (parsedEntry.nameLength < 1 || parsedEntry.nameLength > ENTRY_NAME_MAX)
            return reader.Fail(entry + "nameLength at offset " + std::to_string(at) + " is " +
                               std::to_string(parsedEntry.nameLength) + ", outside 1.." +
                               std::to_string(ENTRY_NAME_MAX));
        at += 4;
        parsedEntry.name.resize(parsedEntry.nameLength);
        if (!reader.Take(entry + "name", at, parsedEntry.nameLength) ||
            !file.Read(at, &parsedEntry.name[0], parsedEntry.nameLength, error))
            return false;
        UnscrambleField(&parsedEntry.name[0], parsedEntry.nameLength);
        size_t nul = parsedEntry.name.find('\0');
        if (nul != std::string::npos)
            return reader.Fail(entry + "name at offset " + std::to_string(at) + " holds a NUL at byte " +
                               std::to_string(nul) + "; the launcher would take the name as ending there");
        at += parsedEntry.nameLength;
        if (!reader.U32(entry + "dosDateTime", at, &parsedEntry.dosDateTime))
            return false;
        at += 4;
        if (!reader.U32(entry + "size", at, &value))
            return false;
        parsedEntry.size = static_cast<int32_t>(value);
        if (parsedEntry.size <= 0)
            return reader.Fail(entry + "size at offset " + std::to_string(at) + " is " +
                               std::to_string(parsedEntry.size) + "; it must be above 0");
        at += 4;
        if (withData && !reader.Take(entry + "data", at, parsedEntry.size))
            return false;
        parsedEntry.dataOffset = at;
        if (withData)
            at += parsedEntry.size;
        blocks += EntryBlockCount(parsedEntry.size);
        if (!visit(parsedEntry, i, error))
            return false;
    }

    if (PackageFeatures(header.reserved) & FEATURE_LZMA_CHUNKS) {
        if (at != file.Size())
            return reader.Fail(std::string(withData ? "the entry stream" : "the directory") + " holds " +
                               std::to_string(file.Size() - (withData ? header.payloadOffset : 0)) +
                               " bytes, but its entries end after " +
                               std::to_string(at - (withData ? header.payloadOffset : 0)));
    } else if (int64_t(header.packageLength) != int64_t(at))
        return reader.Fail(HeaderField("packageLength", base + offsetof(PackageHeader, packageLength),
                                       header.packageLength) +
                           ", but the entries end at " + std::to_string(at) +
                           "; without an integrity record the launcher would extract them all the same");
    if (header.totalBlocks != blocks)
        return reader.Fail(HeaderField("totalBlocks", base + offsetof(PackageHeader, totalBlocks), header.totalBlocks) +
                           ", but the entries hold " + std::to_string(blocks) +
                           " blocks; the launcher would extract them all the same, its progress wrong");
    return true;
}

}  // namespace

bool WalkEntries(Source &file, const ParsedPackage &parsed, const EntryVisitor &visit, std::string *error)
{
    return Walk(file, parsed, uint64_t(parsed.header.payloadOffset), true, visit, error);
}

bool WalkDirectory(const Bytes &directory, const ParsedPackage &parsed, const EntryVisitor &visit, std::string *error)
{
    MemorySource source(directory);
    return Walk(source, parsed, 0, false, visit, error);
}

bool ParsePackage(const Bytes &file, ParsedPackage *parsed, std::string *error)
{
    MemorySource source(file);
    if (!ReadPackageHeader(source, parsed, error))
        return false;
    std::unique_ptr<DecodedSource> decoded;
    Source *entries;
    if (!OpenEntries(source, *parsed, &decoded, &entries, error))
        return false;
    return WalkEntries(
        *entries, *parsed,
        [parsed](const ParsedEntry &entry, int32_t, std::string *) {
            parsed->entries.push_back(entry);
            return true;
        },
        error);
}

}  // namespace sfxpack
