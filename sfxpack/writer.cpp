// Lays a package down: the header into the stub's placeholder, the entries
// after the stub's bytes.
#include "sfxpack/writer.h"

#include <climits>
#include <cstring>

#include "package/crc32.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the header is copied as a little-endian record");

namespace sfxpack {

namespace {

void AppendU32(Bytes *out, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// Fills one scrambled text field from a text (NUL-padded) or raw contents.
bool FillField(char *field, int width, const std::string &text, const std::optional<Bytes> &raw,
               const char *what, std::string *error)
{
    std::memset(field, 0, width);
    if (raw) {
        if (raw->size() > size_t(width)) {
            *error = std::string(what) + ": raw field of " + std::to_string(raw->size()) + " bytes, wider than " +
                     std::to_string(width);
            return false;
        }
        if (!raw->empty())
            std::memcpy(field, raw->data(), raw->size());
    } else {
        if (text.size() >= size_t(width)) {
            *error = std::string(what) + ": " + std::to_string(text.size()) + " bytes, at most " +
                     std::to_string(width - 1) + " fit";
            return false;
        }
        std::memcpy(field, text.data(), text.size());
    }
    ScrambleField(field, width);
    return true;
}

}  // namespace

void AppendIntegrityRecord(Bytes *out, int32_t entryCount, uint32_t headerCrc, const std::vector<uint32_t> &entryCrcs)
{
    size_t start = out->size();
    out->insert(out->end(), INTEGRITY_SIGNATURE, INTEGRITY_SIGNATURE + INTEGRITY_SIGNATURE_SIZE);
    AppendU32(out, INTEGRITY_VERSION);
    AppendU32(out, static_cast<uint32_t>(entryCount));
    AppendU32(out, headerCrc);
    for (uint32_t crc : entryCrcs)
        AppendU32(out, crc);
    AppendU32(out, Crc32Update(0, out->data() + start, out->size() - start));
}

bool BuildPackage(const Bytes &stub, const Package &package, Bytes *out, std::string *error)
{
    ResourceLocation location;
    if (!FindHeaderResource(stub, &location, error))
        return false;
    if (location.size < PACKAGE_HEADER_SIZE) {
        *error = "the header placeholder is " + std::to_string(location.size) + " bytes, fewer than " +
                 std::to_string(PACKAGE_HEADER_SIZE);
        return false;
    }

    int64_t length = stub.size(), blocks = 0;
    for (const Entry &entry : package.entries) {
        length += ENTRY_FIXED_BYTES + int64_t(entry.name.size()) + int64_t(entry.data.size());
        blocks += EntryBlockCount(static_cast<int32_t>(entry.data.size() > INT32_MAX ? INT32_MAX : entry.data.size()));
    }
    if ((length > INT32_MAX && !package.packageLength) ||
        (package.entries.size() > INT32_MAX && !package.entryCount)) {
        *error = "the package would be " + std::to_string(length) + " bytes, past 2 GiB";
        return false;
    }

    PackageHeader header;
    std::memset(&header, 0, sizeof header);
    header.headerSize = package.headerSize.value_or(PACKAGE_HEADER_SIZE);
    header.formatVersion = package.formatVersion.value_or(PACKAGE_FORMAT_VERSION);
    header.payloadOffset = package.payloadOffset.value_or(static_cast<int32_t>(stub.size()));
    header.entryCount = package.entryCount.value_or(static_cast<int32_t>(package.entries.size()));
    header.packageLength = package.packageLength.value_or(static_cast<int32_t>(length));
    header.totalBlocks = package.totalBlocks.value_or(static_cast<int32_t>(blocks));
    header.reserved = package.integrityRecord ? INTEGRITY_MARK : 0;
    if (!FillField(header.storedPassword, PASSWORD_FIELD_SIZE, package.password, package.rawPasswordField,
                   "password", error) ||
        !FillField(header.setupCommand, SETUP_COMMAND_FIELD_SIZE, package.setupCommand,
                   package.rawSetupCommandField, "setup command", error) ||
        !FillField(header.productTitle, PRODUCT_TITLE_FIELD_SIZE, package.productTitle,
                   package.rawProductTitleField, "product title", error) ||
        !FillField(header.sourcePrefix, SOURCE_PREFIX_FIELD_SIZE, package.sourcePrefix,
                   package.rawSourcePrefixField, "source prefix", error))
        return false;

    Bytes bytes(stub);
    bytes.reserve(static_cast<size_t>(length));
    std::memcpy(&bytes[location.fileOffset], &header, sizeof header);
    if (package.resourceSize) {
        for (int i = 0; i < 4; i++)
            bytes[location.sizeFieldOffset + i] = static_cast<unsigned char>(*package.resourceSize >> (8 * i));
    }
    if (package.hideResource)
        bytes[location.nameOffset] = 'X';  // "XYRESOURCE": the lookup by name no longer matches

    std::vector<uint32_t> entryCrcs;
    for (const Entry &entry : package.entries) {
        size_t start = bytes.size();
        AppendU32(&bytes, static_cast<uint32_t>(entry.nameLength.value_or(static_cast<int32_t>(entry.name.size()))));
        size_t name = bytes.size();
        bytes.insert(bytes.end(), entry.name.begin(), entry.name.end());
        ScrambleField(bytes.data() + name, static_cast<int>(entry.name.size()));
        AppendU32(&bytes, entry.dosDateTime);
        AppendU32(&bytes, static_cast<uint32_t>(entry.size.value_or(static_cast<int32_t>(entry.data.size()))));
        bytes.insert(bytes.end(), entry.data.begin(), entry.data.end());
        entryCrcs.push_back(Crc32Update(0, bytes.data() + start, bytes.size() - start));
    }
    if (package.integrityRecord)
        AppendIntegrityRecord(&bytes, header.entryCount,
                              Crc32Update(0, bytes.data() + location.fileOffset, PACKAGE_HEADER_SIZE), entryCrcs);

    if (package.truncateAt) {
        if (*package.truncateAt > bytes.size()) {
            *error = "truncateAt " + std::to_string(*package.truncateAt) + " lies beyond the package's " +
                     std::to_string(bytes.size()) + " bytes";
            return false;
        }
        bytes.resize(*package.truncateAt);
    }
    *out = std::move(bytes);
    return true;
}

}  // namespace sfxpack
