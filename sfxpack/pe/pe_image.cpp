// PE headers read and rewritten in place (winnt.h names in comments).
#include "sfxpack/pe/pe_image.h"

#include <algorithm>
#include <cstring>

#include "sfxpack/common/little_endian.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the checksum loads words as little-endian");

namespace sfxpack {

namespace {

enum {
    DOS_LFANEW = 0x3C,
    COFF_SECTION_COUNT = 6,
    COFF_OPTIONAL_SIZE = 20,
    OPTIONAL_HEADER = 24,
    PE32_MAGIC = 0x10B,
    PE32PLUS_MAGIC = 0x20B,
    SIZE_OF_INITIALIZED_DATA = 8,
    SECTION_ALIGNMENT = 32,
    FILE_ALIGNMENT = 36,
    SIZE_OF_IMAGE = 56,
    PE32_DIRECTORY_COUNT = 92,
    PE32PLUS_DIRECTORY_COUNT = 108,
    SECTION_HEADER_SIZE = 40,
    SECURITY_DIRECTORY = 4,
    RESOURCE_DIRECTORY = 2,
    RELOCATION_DIRECTORY = 5,
    DEBUG_DIRECTORY = 6,
    DEBUG_ENTRY_SIZE = 28,     // IMAGE_DEBUG_DIRECTORY
    DEBUG_RAW_POINTER = 24,    // its PointerToRawData
    INITIALIZED_DATA = 0x40,   // IMAGE_SCN_CNT_INITIALIZED_DATA
    MAX_DIRECTORIES = 16
};

bool Has(const Bytes &b, uint64_t offset, uint64_t length)
{
    return offset <= b.size() && length <= b.size() - offset;
}

bool Fail(std::string *error, const std::string &why)
{
    *error = why;
    return false;
}

uint64_t Align(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// RVA and size of data directory `index`, zero when the image has none.
void Directory(const Bytes &file, const PeImage &image, unsigned index, uint32_t *rva, uint32_t *size)
{
    *rva = *size = 0;
    if (index < image.directoryCount) {
        *rva = Load32(file, image.directories + index * 8);
        *size = Load32(file, image.directories + index * 8 + 4);
    }
}

// Whether the relocation blocks at `offset` patch nothing at or above
// `limit`: blocks of a page address and a size, then 16-bit entries whose
// low 12 bits add to the page and whose type 0 marks padding.
bool RelocationsBelow(const Bytes &file, size_t offset, uint32_t size, uint32_t limit)
{
    for (size_t at = offset, end = offset + size; at + 8 <= end;) {
        uint32_t page = Load32(file, at), blockSize = Load32(file, at + 4);
        if (blockSize < 8 || blockSize > end - at)
            return false;
        for (size_t entry = at + 8; entry + 2 <= at + blockSize; entry += 2) {
            uint32_t value = Load16(file, entry);
            if ((value >> 12) != 0 && uint64_t(page) + (value & 0xFFF) + 8 > limit)
                return false;
        }
        at += blockSize;
    }
    return true;
}

}  // namespace

bool ReadPeImage(const Bytes &file, PeImage *image, std::string *error)
{
    *image = PeImage();
    if (!Has(file, 0, DOS_LFANEW + 4) || file[0] != 'M' || file[1] != 'Z')
        return Fail(error, "not a Windows executable (no MZ header)");
    size_t pe = Load32(file, DOS_LFANEW);
    if (!Has(file, pe, OPTIONAL_HEADER + 2) || std::memcmp(&file[pe], "PE\0\0", 4) != 0)
        return Fail(error, "not a Windows executable (no PE header)");
    size_t optional = pe + OPTIONAL_HEADER, optionalSize = Load16(file, pe + COFF_OPTIONAL_SIZE);
    uint32_t magic = Load16(file, optional);
    size_t countField = magic == PE32_MAGIC ? PE32_DIRECTORY_COUNT
                        : magic == PE32PLUS_MAGIC ? PE32PLUS_DIRECTORY_COUNT : 0;
    if (!countField || optionalSize < countField + 4 || !Has(file, optional, optionalSize))
        return Fail(error, "unknown optional header");
    image->pe32plus = magic == PE32PLUS_MAGIC;
    image->optionalHeader = optional;
    image->sectionAlignment = Load32(file, optional + SECTION_ALIGNMENT);
    image->fileAlignment = Load32(file, optional + FILE_ALIGNMENT);
    image->directories = optional + countField + 4;
    image->directoryCount = std::min<uint32_t>({Load32(file, optional + countField), MAX_DIRECTORIES,
                                                uint32_t((optionalSize - countField - 4) / 8)});

    size_t table = optional + optionalSize, count = Load16(file, pe + COFF_SECTION_COUNT);
    if (!Has(file, table, count * SECTION_HEADER_SIZE))
        return Fail(error, "the section table runs past the end of the file");
    for (size_t i = 0; i < count; i++) {
        PeSection section;
        section.header = table + i * SECTION_HEADER_SIZE;
        const char *name = reinterpret_cast<const char *>(&file[section.header]);
        section.name.assign(name, strnlen(name, 8));
        section.virtualSize = Load32(file, section.header + 8);
        section.virtualAddress = Load32(file, section.header + 12);
        section.rawSize = Load32(file, section.header + 16);
        section.rawOffset = Load32(file, section.header + 20);
        section.characteristics = Load32(file, section.header + 36);
        if (i > 0 && section.virtualAddress < image->sections.back().virtualAddress)
            return Fail(error, "section " + std::to_string(i + 1) + " lies below the one before it");
        if (section.rawSize && !Has(file, section.rawOffset, section.rawSize))
            return Fail(error, "section " + section.name + " runs past the end of the file");
        if (section.rawSize)
            image->imageEnd = std::max<uint64_t>(image->imageEnd, uint64_t(section.rawOffset) + section.rawSize);
        image->sections.push_back(section);
    }
    return true;
}

uint64_t PeImageBytesNeeded(const Bytes &head)
{
    if (head.size() < DOS_LFANEW + 4)
        return DOS_LFANEW + 4;
    uint64_t pe = Load32(head, DOS_LFANEW), optional = pe + OPTIONAL_HEADER;
    if (head.size() < optional + 2)
        return optional + 2;
    uint64_t table = optional + Load16(head, pe + COFF_OPTIONAL_SIZE);
    uint64_t tableEnd = table + uint64_t(Load16(head, pe + COFF_SECTION_COUNT)) * SECTION_HEADER_SIZE;
    if (head.size() < tableEnd)
        return tableEnd;
    uint64_t end = tableEnd;
    for (uint64_t header = table; header < tableEnd; header += SECTION_HEADER_SIZE)
        end = std::max<uint64_t>(end, uint64_t(Load32(head, header + 20)) + Load32(head, header + 16));
    return end;
}

bool HasSignature(const Bytes &file, const PeImage &image)
{
    uint32_t rva, size;
    Directory(file, image, SECURITY_DIRECTORY, &rva, &size);
    return rva || size;
}

bool FindResourceSection(const Bytes &file, const PeImage &image, Bytes *section, uint32_t *rva,
                         std::string *error)
{
    uint32_t size;
    Directory(file, image, RESOURCE_DIRECTORY, rva, &size);
    if (!*rva)
        return Fail(error, "the executable has no resources");
    for (const PeSection &candidate : image.sections)
        if (candidate.virtualAddress == *rva) {
            section->assign(file.begin() + candidate.rawOffset,
                            file.begin() + candidate.rawOffset + candidate.rawSize);
            return true;
        }
    return Fail(error, "the resources begin no section of their own");
}

bool ReplaceResourceSection(const Bytes &file, const PeImage &image, const Bytes &section, Bytes *out,
                            std::string *error)
{
    uint32_t rva, size;
    Directory(file, image, RESOURCE_DIRECTORY, &rva, &size);
    size_t r = 0;
    while (r < image.sections.size() && (!rva || image.sections[r].virtualAddress != rva))
        r++;
    if (r == image.sections.size())
        return Fail(error, "the resources begin no section of their own");
    const PeSection &resources = image.sections[r];
    uint32_t relocationRva, relocationSize;
    if (HasSignature(file, image))
        return Fail(error, "the executable is signed; sign the package once it is made instead");
    if (!image.sectionAlignment || !image.fileAlignment)
        return Fail(error, "the optional header has no section or file alignment");
    if (file.size() > image.imageEnd)
        return Fail(error, std::to_string(file.size() - image.imageEnd) +
                               " bytes follow the last section (symbols or a signature); strip them first");
    Directory(file, image, RELOCATION_DIRECTORY, &relocationRva, &relocationSize);
    uint64_t oldRawEnd = uint64_t(resources.rawOffset) + resources.rawSize;
    for (size_t i = r + 1; i < image.sections.size(); i++) {
        const PeSection &after = image.sections[i];
        if (after.virtualAddress != relocationRva || !after.rawSize || after.rawOffset < oldRawEnd)
            return Fail(error, "section " + after.name + " follows the resources and cannot be moved");
    }
    for (unsigned index = 0; index < image.directoryCount; index++) {
        uint32_t at, length;
        Directory(file, image, index, &at, &length);
        if (index != RESOURCE_DIRECTORY && index != RELOCATION_DIRECTORY && at && uint64_t(at) + length > rva)
            return Fail(error, "data directory " + std::to_string(index) + " lies in or after the resources");
    }
    if (relocationRva) {
        size_t offset = 0;
        for (const PeSection &s : image.sections)
            if (relocationRva >= s.virtualAddress && relocationRva - s.virtualAddress < s.rawSize)
                offset = s.rawOffset + (relocationRva - s.virtualAddress);
        if (!offset || !Has(file, offset, relocationSize) || !RelocationsBelow(file, offset, relocationSize, rva))
            return Fail(error, "base relocations patch the resources or what follows them");
    }
    uint32_t debugRva, debugSize;
    Directory(file, image, DEBUG_DIRECTORY, &debugRva, &debugSize);
    for (const PeSection &s : image.sections)
        if (debugRva >= s.virtualAddress && debugRva - s.virtualAddress + uint64_t(debugSize) <= s.rawSize)
            for (uint32_t e = 0; e + DEBUG_ENTRY_SIZE <= debugSize; e += DEBUG_ENTRY_SIZE)
                if (Load32(file, s.rawOffset + (debugRva - s.virtualAddress) + e + DEBUG_RAW_POINTER) >= resources.rawOffset)
                    return Fail(error, "debug data lies in or after the resources");

    uint64_t newRawSize = Align(section.size(), image.fileAlignment);
    int64_t rawDelta = int64_t(newRawSize) - int64_t(resources.rawSize);
    int64_t delta = r + 1 < image.sections.size()
                        ? int64_t(Align(uint64_t(rva) + section.size(), image.sectionAlignment)) -
                              int64_t(image.sections[r + 1].virtualAddress)
                        : 0;
    out->assign(file.begin(), file.begin() + resources.rawOffset);
    out->insert(out->end(), section.begin(), section.end());
    out->resize(resources.rawOffset + newRawSize, 0);
    out->insert(out->end(), file.begin() + oldRawEnd, file.begin() + image.imageEnd);

    Store32(out, resources.header + 8, uint32_t(section.size()));
    Store32(out, resources.header + 16, uint32_t(newRawSize));
    uint64_t end = uint64_t(rva) + section.size();
    for (size_t i = r + 1; i < image.sections.size(); i++) {
        const PeSection &after = image.sections[i];
        Store32(out, after.header + 12, uint32_t(after.virtualAddress + delta));
        Store32(out, after.header + 20, uint32_t(after.rawOffset + rawDelta));
        end = after.virtualAddress + delta + std::max(after.virtualSize, after.rawSize);
    }
    Store32(out, image.directories + RESOURCE_DIRECTORY * 8 + 4, uint32_t(section.size()));
    if (relocationRva)
        Store32(out, image.directories + RELOCATION_DIRECTORY * 8, uint32_t(relocationRva + delta));
    size_t optional = image.optionalHeader;
    Store32(out, optional + SIZE_OF_IMAGE, uint32_t(Align(end, image.sectionAlignment)));
    if (resources.characteristics & INITIALIZED_DATA)
        Store32(out, optional + SIZE_OF_INITIALIZED_DATA,
              uint32_t(Load32(file, optional + SIZE_OF_INITIALIZED_DATA) + rawDelta));
    WritePeChecksum(out, image);
    return true;
}

void PeChecksum::Add(const unsigned char *data, size_t length)
{
    size_t i = 0;
    if ((length_ & 1) && length) {  // this byte completes the word begun before
        sum_ += uint32_t(data[0]) << 8;
        i = 1;
    }
    for (; i + 8 <= length; i += 8) {
        uint64_t words;  // four words at a time
        std::memcpy(&words, data + i, 8);
        sum_ += (words & 0xFFFF) + (words >> 16 & 0xFFFF) + (words >> 32 & 0xFFFF) + (words >> 48);
    }
    for (; i + 2 <= length; i += 2)
        sum_ += data[i] | data[i + 1] << 8;
    if (i < length)
        sum_ += data[i];
    length_ += length;
}

uint32_t PeChecksum::Value() const
{
    uint64_t sum = sum_;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum + length_);
}

void WritePeChecksum(Bytes *file, const PeImage &image)
{
    Store32(file, image.ChecksumOffset(), 0);
    PeChecksum checksum;
    checksum.Add(file->data(), file->size());
    Store32(file, image.ChecksumOffset(), checksum.Value());
}

}  // namespace sfxpack
