// Finds the header placeholder in a launcher stub by walking its PE resource
// directory: type -> name -> language -> data entry.
#include "package/format.h"
#include "sfxpack/common/little_endian.h"
#include "sfxpack/pe/pe_resource.h"

#include <algorithm>
#include <cstring>

#include "sfxpack/read/source.h"

namespace sfxpack {

namespace {

// Offsets of the PE structures used here (winnt.h names in comments).
enum {
    DOS_LFANEW = 0x3C,              // IMAGE_DOS_HEADER.e_lfanew
    COFF_SECTION_COUNT = 6,         // after "PE\0\0"
    COFF_OPTIONAL_SIZE = 20,
    OPTIONAL_HEADER = 24,
    PE32_MAGIC = 0x10B,
    PE32PLUS_MAGIC = 0x20B,
    PE32_DIRECTORY_COUNT = 92,      // NumberOfRvaAndSizes
    PE32PLUS_DIRECTORY_COUNT = 108,
    RESOURCE_DIRECTORY_INDEX = 2,
    SECTION_HEADER_SIZE = 40,
    DIRECTORY_HEADER_SIZE = 16,     // IMAGE_RESOURCE_DIRECTORY
    DIRECTORY_ENTRY_SIZE = 8,       // IMAGE_RESOURCE_DIRECTORY_ENTRY
    DATA_ENTRY_SIZE = 16,           // IMAGE_RESOURCE_DATA_ENTRY
    // The launcher is tens of KiB; a stub of more than this is no stub.
    IMAGE_PART_MAX = 64 << 20
};

const uint32_t HIGH_BIT = 0x80000000u;

struct Image {
    const Bytes &bytes;
    size_t sectionTable = 0;
    unsigned sectionCount = 0;
    uint32_t resourceRva = 0;
    std::string *error;
    // Per section, in table order: the highest end of raw data (address
    // plus raw size) of it and every section before it.
    std::vector<uint64_t> reach;

    bool Has(size_t offset, size_t length) const
    {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    }

    uint32_t U16(size_t offset) const { return Load16(bytes, offset); }
    uint32_t U32(size_t offset) const { return Load32(bytes, offset); }

    bool Fail(const std::string &why)
    {
        *error = why;
        return false;
    }

    // Windows loads only images whose sections ascend in address; for those
    // the section to map is found by a binary search, so that a crafted
    // table of many sections costs no more per lookup than a real one.
    bool IndexSections()
    {
        uint64_t previous = 0, highest = 0;
        reach.resize(sectionCount);
        for (unsigned i = 0; i < sectionCount; i++) {
            size_t header = sectionTable + i * SECTION_HEADER_SIZE;
            uint64_t virtualAddress = U32(header + 12), rawSize = U32(header + 16);
            if (virtualAddress < previous)
                return Fail("section " + std::to_string(i + 1) + " lies below the one before it");
            previous = virtualAddress;
            highest = std::max(highest, virtualAddress + rawSize);
            reach[i] = highest;
        }
        return true;
    }

    // File offset of `length` bytes at `rva`, which must lie in one section's
    // raw data: the first section in table order that holds `rva`, which with
    // ascending addresses is the first whose reach passes it.
    bool Map(uint64_t rva, size_t length, size_t *offset)
    {
        size_t i = std::upper_bound(reach.begin(), reach.end(), rva) - reach.begin();
        size_t header = sectionTable + i * SECTION_HEADER_SIZE;
        if (i == reach.size() || U32(header + 12) > rva)
            return Fail("RVA " + std::to_string(rva) + " lies in no section's data");
        uint64_t virtualAddress = U32(header + 12), rawSize = U32(header + 16), rawStart = U32(header + 20);
        uint64_t at = rawStart + (rva - virtualAddress);
        if (rva - virtualAddress + length > rawSize || !Has(at, length))
            return Fail("resource data at RVA " + std::to_string(rva) + " runs past its section or the file");
        *offset = at;
        return true;
    }

    // The entries of the resource directory at `directoryOffset` (relative
    // to the resource section), and the count of its named ones.
    bool ReadDirectory(uint32_t directoryOffset, size_t *entries, unsigned *named, unsigned *total)
    {
        size_t at;
        if (!Map(uint64_t(resourceRva) + directoryOffset, DIRECTORY_HEADER_SIZE, &at))
            return false;
        *named = U16(at + 12);
        *total = *named + U16(at + 14);
        return Map(uint64_t(resourceRva) + directoryOffset + DIRECTORY_HEADER_SIZE,
                   size_t(*total) * DIRECTORY_ENTRY_SIZE, entries);
    }

    // Whether the UTF-16 name string at `nameOffset` equals `name`, ASCII
    // case ignored as FindResourceA does; `chars` gets its first character.
    bool NameIs(uint32_t nameOffset, const char *name, size_t *chars)
    {
        size_t at;
        if (!Map(uint64_t(resourceRva) + nameOffset, 2, &at))
            return false;
        size_t length = U16(at);
        if (length != std::strlen(name) || !Map(uint64_t(resourceRva) + nameOffset + 2, length * 2, chars))
            return false;
        for (size_t i = 0; i < length; i++) {
            uint32_t c = U16(*chars + 2 * i);
            if (c >= 'a' && c <= 'z')
                c -= 'a' - 'A';
            if (c != uint32_t(name[i]))
                return false;
        }
        return true;
    }
};

}  // namespace

bool FindHeaderResource(const Bytes &stub, ResourceLocation *location, std::string *error)
{
    Image image{stub, 0, 0, 0, error, {}};
    if (!image.Has(0, DOS_LFANEW + 4) || stub[0] != 'M' || stub[1] != 'Z')
        return image.Fail("not a Windows executable (no MZ header)");
    size_t pe = image.U32(DOS_LFANEW);
    if (!image.Has(pe, OPTIONAL_HEADER + 2) || std::memcmp(&stub[pe], "PE\0\0", 4) != 0)
        return image.Fail("not a Windows executable (no PE header)");
    image.sectionCount = image.U16(pe + COFF_SECTION_COUNT);
    size_t optional = pe + OPTIONAL_HEADER;
    image.sectionTable = optional + image.U16(pe + COFF_OPTIONAL_SIZE);
    if (!image.Has(image.sectionTable, size_t(image.sectionCount) * SECTION_HEADER_SIZE))
        return image.Fail("the section table runs past the end of the file");
    if (!image.IndexSections())
        return false;

    uint32_t magic = image.U16(optional);
    size_t countField = magic == PE32_MAGIC ? PE32_DIRECTORY_COUNT
                        : magic == PE32PLUS_MAGIC ? PE32PLUS_DIRECTORY_COUNT : 0;
    if (!countField || !image.Has(optional + countField, 4))
        return image.Fail("unknown optional header");
    size_t directories = optional + countField + 4;
    if (image.U32(optional + countField) <= RESOURCE_DIRECTORY_INDEX ||
        !image.Has(directories, (RESOURCE_DIRECTORY_INDEX + 1) * 8) ||
        !(image.resourceRva = image.U32(directories + RESOURCE_DIRECTORY_INDEX * 8)))
        return image.Fail("the executable has no resources");

    size_t entries;
    unsigned named, total;
    if (!image.ReadDirectory(0, &entries, &named, &total))
        return false;
    uint32_t typeDirectory = 0;
    for (unsigned i = named; i < total && !typeDirectory; i++) {
        size_t entry = entries + i * DIRECTORY_ENTRY_SIZE;
        if (image.U32(entry) == PACKAGE_RESOURCE_TYPE && (image.U32(entry + 4) & HIGH_BIT))
            typeDirectory = image.U32(entry + 4) & ~HIGH_BIT;
    }
    if (!typeDirectory)
        return image.Fail("no resource of type " + std::to_string(PACKAGE_RESOURCE_TYPE));

    if (!image.ReadDirectory(typeDirectory, &entries, &named, &total))
        return false;
    uint32_t nameDirectory = 0;
    size_t nameChars = 0;
    for (unsigned i = 0; i < named && !nameDirectory; i++) {
        size_t entry = entries + i * DIRECTORY_ENTRY_SIZE;
        if ((image.U32(entry + 4) & HIGH_BIT) &&
            image.NameIs(image.U32(entry) & ~HIGH_BIT, PACKAGE_RESOURCE_NAME, &nameChars))
            nameDirectory = image.U32(entry + 4) & ~HIGH_BIT;
    }
    if (!nameDirectory)
        return image.Fail("no resource named " PACKAGE_RESOURCE_NAME " of type " +
                          std::to_string(PACKAGE_RESOURCE_TYPE));

    if (!image.ReadDirectory(nameDirectory, &entries, &named, &total))
        return false;
    if (total != 1)
        return image.Fail("resource " PACKAGE_RESOURCE_NAME " has " + std::to_string(total) +
                          " languages, not 1");
    uint32_t dataEntryOffset = image.U32(entries + 4);
    size_t dataEntry;
    if ((dataEntryOffset & HIGH_BIT) ||
        !image.Map(uint64_t(image.resourceRva) + dataEntryOffset, DATA_ENTRY_SIZE, &dataEntry))
        return image.Fail("resource " PACKAGE_RESOURCE_NAME " has no data entry");

    uint32_t size = image.U32(dataEntry + 4);
    size_t data;
    // Only the part the launcher reads has to lie in the file.
    if (!image.Map(image.U32(dataEntry), size < uint32_t(PACKAGE_HEADER_SIZE) ? size : uint32_t(PACKAGE_HEADER_SIZE), &data))
        return false;
    location->fileOffset = data;
    location->size = size;
    location->sizeFieldOffset = dataEntry + 4;
    location->nameOffset = nameChars;
    return true;
}

bool ReadImagePart(Source &file, Bytes *image, std::string *error)
{
    image->clear();
    auto U16 = [&](uint64_t at) { return uint32_t((*image)[at] | (*image)[at + 1] << 8); };
    auto U32 = [&](uint64_t at) { return U16(at) | U16(at + 2) << 16; };
    // Reads on to `need` bytes, or to the end of a shorter file; false only
    // for a read error or a need past the bound. Whether the bytes read are
    // enough is for FindHeaderResource to say.
    auto ReadTo = [&](uint64_t need) {
        need = std::min(need, file.Size());
        if (need > IMAGE_PART_MAX) {
            *error = "the executable's headers and sections reach offset " + std::to_string(need) +
                     "; more than " + std::to_string(IMAGE_PART_MAX) + " bytes are not read";
            return false;
        }
        size_t had = image->size();
        if (need <= had)
            return true;
        image->resize(size_t(need));
        return file.Read(had, image->data() + had, size_t(need) - had, error);
    };
    if (!ReadTo(DOS_LFANEW + 4))
        return false;
    if (image->size() < DOS_LFANEW + 4)
        return true;
    uint64_t pe = U32(DOS_LFANEW), optional = pe + OPTIONAL_HEADER;
    if (!ReadTo(optional + 2))
        return false;
    if (image->size() < optional + 2)
        return true;
    uint64_t sectionTable = optional + U16(pe + COFF_OPTIONAL_SIZE);
    uint64_t sections = U16(pe + COFF_SECTION_COUNT);
    uint64_t tableEnd = sectionTable + sections * SECTION_HEADER_SIZE;
    if (!ReadTo(std::max<uint64_t>(optional + PE32PLUS_DIRECTORY_COUNT + 4 + (RESOURCE_DIRECTORY_INDEX + 1) * 8,
                                   tableEnd)))
        return false;
    if (image->size() < tableEnd)
        return true;
    uint64_t end = 0;
    for (uint64_t header = sectionTable; header < tableEnd; header += SECTION_HEADER_SIZE)
        end = std::max<uint64_t>(end, uint64_t(U32(header + 20)) + U32(header + 16));
    return ReadTo(end);
}

}  // namespace sfxpack
