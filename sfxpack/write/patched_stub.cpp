#include "sfxpack/write/patched_stub.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "sfxpack/common/little_endian.h"
#include "sfxpack/pe/pe_image.h"
#include "sfxpack/pe/pe_resource.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the header is copied as a little-endian record");

namespace sfxpack {

namespace {

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

// The header patched into a copy of the stub, with the overrides applied;
// `headerOffset` is where the 404 header bytes lie in it. With
// `imageChecksum` the checksum field, at `checksumOffset`, is cleared to be
// summed as 0.
bool PatchedStub(const Bytes &stub, const Package &package, int64_t compressedLength, Bytes *head,
                 size_t *headerOffset, size_t *checksumOffset, std::string *error)
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
        int64_t size = DataSize(entry);
        length += ENTRY_FIXED_BYTES + int64_t(entry.name.size()) + size;
        blocks += EntryBlockCount(static_cast<int32_t>(size > INT32_MAX ? INT32_MAX : size));
    }
    if (compressedLength >= 0)
        length = int64_t(stub.size()) + compressedLength;
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
    header.reserved = package.compress
                          ? FeatureWord(FEATURE_INTEGRITY_RECORD | FEATURE_LZMA_CHUNKS |
                                        (package.exitCodes ? FEATURE_EXIT_CODES : 0))
                          : ReservedMark(package.integrityRecord, package.exitCodes);
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
    std::memcpy(&bytes[location.fileOffset], &header, sizeof header);
    if (package.resourceSize)
        Store32(&bytes, location.sizeFieldOffset, *package.resourceSize);
    if (package.hideResource)
        bytes[location.nameOffset] = 'X';  // "XYRESOURCE": the lookup by name no longer matches
    if (package.imageChecksum) {
        PeImage image;
        if (!ReadPeImage(bytes, &image, error))
            return false;
        *checksumOffset = image.ChecksumOffset();
        std::fill_n(bytes.begin() + *checksumOffset, 4, 0);
    }
    *head = std::move(bytes);
    *headerOffset = location.fileOffset;
    return true;
}

}  // namespace sfxpack
