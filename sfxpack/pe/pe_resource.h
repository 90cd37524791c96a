// Where the header placeholder lies in the launcher's PE image.
#ifndef SFXPACK_PE_PE_RESOURCE_H
#define SFXPACK_PE_PE_RESOURCE_H

#include <cstdint>
#include <string>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

// Where the 404-byte header resource lies in a stub.
struct ResourceLocation {
    size_t fileOffset = 0;       // of the resource data
    uint32_t size = 0;           // as recorded in the resource directory
    size_t sizeFieldOffset = 0;  // file offset of that recorded size
    size_t nameOffset = 0;       // file offset of the name string (UTF-16)
};

// Reads the image (ReadPeImage) and finds type 1024, name "MYRESOURCE" in
// its resource directory (FindNamedResource).
// `nameOffset` is the offset of the name's first UTF-16 character (after its
// length word). Fails when the name has more than one language, since the
// launcher's FindResourceA would then pick one by the user's language.
bool FindHeaderResource(const Bytes &stub, ResourceLocation *location, std::string *error);

}  // namespace sfxpack

#endif
