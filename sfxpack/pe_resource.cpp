// Finds the header placeholder in a launcher stub by walking its PE resource
// directory: type -> name -> language -> data entry.
#include "sfxpack/writer.h"

#include <cstring>

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
    DATA_ENTRY_SIZE = 16            // IMAGE_RESOURCE_DATA_ENTRY
};

const uint32_t HIGH_BIT = 0x80000000u;

struct Image {
    const Bytes &bytes;
    size_t sectionTable = 0;
    unsigned sectionCount = 0;
    uint32_t resourceRva = 0;
    std::string *error;

    bool Has(size_t offset, size_t length) const
    {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    }

    uint32_t U16(size_t offset) const { return bytes[offset] | bytes[offset + 1] << 8; }
    uint32_t U32(size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }

    bool Fail(const std::string &why)
    {
        *error = why;
        return false;
    }

    // File offset of `length` bytes at `rva`, which must lie in one section's
    // raw data.
    bool Map(uint64_t rva, size_t length, size_t *offset)
    {
        for (unsigned i = 0; i < sectionCount; i++) {
            size_t header = sectionTable + i * SECTION_HEADER_SIZE;
            uint64_t virtualAddress = U32(header + 12), rawSize = U32(header + 16), rawStart = U32(header + 20);
            if (rva < virtualAddress || rva - virtualAddress >= rawSize)
                continue;
            uint64_t at = rawStart + (rva - virtualAddress);
            if (rva - virtualAddress + length > rawSize || !Has(at, length))
                return Fail("resource data at RVA " + std::to_string(rva) + " runs past its section or the file");
            *offset = at;
            return true;
        }
        return Fail("RVA " + std::to_string(rva) + " lies in no section's data");
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
    Image image{stub, 0, 0, 0, error};
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

}  // namespace sfxpack
