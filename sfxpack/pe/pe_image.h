// The headers of a PE image (PE32 or PE32+), the replacement of its resource
// section, and the image checksum.
#ifndef SFXPACK_PE_PE_IMAGE_H
#define SFXPACK_PE_PE_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

struct PeSection {
    std::string name;
    size_t header = 0;  // file offset of its IMAGE_SECTION_HEADER
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawOffset = 0, characteristics = 0;
};

struct PeImage {
    bool pe32plus = false;
    size_t optionalHeader = 0;  // file offset
    uint32_t sectionAlignment = 0, fileAlignment = 0;
    size_t directories = 0;  // file offset of the data directory array
    uint32_t directoryCount = 0;
    std::vector<PeSection> sections;  // ascending in address
    uint64_t imageEnd = 0;            // the end of the last section's raw data
    size_t ChecksumOffset() const { return optionalHeader + 64; }
};

// Reads the headers and the section table; sections must ascend in address,
// as the loader requires, and lie within the file.
bool ReadPeImage(const Bytes &file, PeImage *image, std::string *error);

// How many leading bytes of a file ReadPeImage reads, as far as `head`, its
// first bytes, tells: more than head.size() while the headers, the section
// table or a section's raw data lie beyond it. For reading an image piece
// by piece from a package whose payload follows it.
uint64_t PeImageBytesNeeded(const Bytes &head);

// Whether the image carries a signature (a certificate table), which any
// change to the image or anything appended after it breaks.
bool HasSignature(const Bytes &file, const PeImage &image);

// The raw data of the section that the resource directory begins, and its
// address. Fails when the image has no resources or they begin no section.
bool FindResourceSection(const Bytes &file, const PeImage &image, Bytes *section, uint32_t *rva,
                         std::string *error);

// `file` with its resource section replaced by `section`, laid out for the
// same address. The sections after it move by the change in size; only the
// base relocations may follow the resources, since nothing refers to their
// own addresses. The headers are updated (section table, SizeOfImage,
// SizeOfInitializedData, the resource and relocation directories, the
// checksum). Refuses, saying why, an image with anything else to move: a
// signature, bytes after the last section, a directory or a relocation that
// points into what moves.
bool ReplaceResourceSection(const Bytes &file, const PeImage &image, const Bytes &section, Bytes *out,
                            std::string *error);

// The image checksum as the loader's tools compute it: the 16-bit words of
// the whole file (the checksum field itself read as 0) summed with the
// carries folded back in, plus the file's length. Fed piece by piece.
class PeChecksum {
public:
    void Add(const unsigned char *data, size_t length);
    uint32_t Value() const;

private:
    uint64_t sum_ = 0;
    uint64_t length_ = 0;
};

// Sets the checksum field of the image that `file` begins to that of the
// whole of `file`.
void WritePeChecksum(Bytes *file, const PeImage &image);

}  // namespace sfxpack

#endif
