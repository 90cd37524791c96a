// Finds the header placeholder in a launcher stub: the image read by
// pe_image, its resource directory walked by resource_tree, as the
// launcher's FindResourceA walks it.
#include "package/format.h"
#include "sfxpack/pe/pe_image.h"
#include "sfxpack/pe/pe_resource.h"
#include "sfxpack/pe/resource_tree.h"

#include <algorithm>

#include "sfxpack/read/source.h"

namespace sfxpack {

namespace {

// The launcher is tens of KiB; a stub of more than this is no stub.
const uint64_t IMAGE_PART_MAX = 64 << 20;

bool Fail(std::string *error, const std::string &why)
{
    *error = why;
    return false;
}

}  // namespace

bool FindHeaderResource(const Bytes &stub, ResourceLocation *location, std::string *error)
{
    PeImage image;
    Bytes section;
    uint32_t rva;
    ResourcePlace place;
    if (!ReadPeImage(stub, &image, error) || !FindResourceSection(stub, image, &section, &rva, error) ||
        !FindNamedResource(section, PACKAGE_RESOURCE_TYPE, PACKAGE_RESOURCE_NAME, &place, error))
        return false;
    if (place.languages != 1)
        return Fail(error, "resource " PACKAGE_RESOURCE_NAME " has " + std::to_string(place.languages) +
                               " languages, not 1");
    // Only the part the launcher reads has to lie in the section.
    uint64_t offset = uint64_t(place.dataRva) - rva, read = std::min<uint32_t>(place.size, PACKAGE_HEADER_SIZE);
    if (place.dataRva < rva || offset + read > section.size())
        return Fail(error, "resource data at RVA " + std::to_string(place.dataRva) + " runs past its section");
    size_t rawOffset = 0;
    for (const PeSection &candidate : image.sections)
        if (candidate.virtualAddress == rva)
            rawOffset = candidate.rawOffset;
    location->fileOffset = rawOffset + size_t(offset);
    location->size = place.size;
    location->sizeFieldOffset = rawOffset + place.dataEntry + 4;
    location->nameOffset = rawOffset + place.nameString + 2;
    return true;
}

bool ReadImagePart(Source &file, Bytes *image, std::string *error)
{
    image->clear();
    // What the bytes read so far say is needed, read on to the end of a
    // shorter file: whether that is enough is for FindHeaderResource to say.
    for (;;) {
        uint64_t need = std::min(PeImageBytesNeeded(*image), file.Size());
        if (need <= image->size())
            return true;
        if (need > IMAGE_PART_MAX)
            return Fail(error, "the executable's headers and sections reach offset " + std::to_string(need) +
                                   "; more than " + std::to_string(IMAGE_PART_MAX) + " bytes are not read");
        size_t had = image->size();
        image->resize(size_t(need));
        if (!file.Read(had, image->data() + had, size_t(need) - had, error))
            return false;
    }
}

}  // namespace sfxpack
