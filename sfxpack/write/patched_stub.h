// The stub with the package's header written into its placeholder: the
// first bytes of every package.
#ifndef SFXPACK_WRITE_PATCHED_STUB_H
#define SFXPACK_WRITE_PATCHED_STUB_H

#include <cstddef>
#include <string>

#include "sfxpack/write/package.h"

namespace sfxpack {

// The header patched into a copy of the stub, with the overrides applied;
// `headerOffset` is where the 404 header bytes lie in it. With
// `imageChecksum` the checksum field, at `checksumOffset`, is cleared to be
// summed as 0. `compressedLength` is the length of a compressed payload
// from payloadOffset to packageLength, or -1 for entries stored as they are.
bool PatchedStub(const Bytes &stub, const Package &package, int64_t compressedLength, Bytes *head,
                 size_t *headerOffset, size_t *checksumOffset, std::string *error);

}  // namespace sfxpack

#endif
