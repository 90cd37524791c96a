// Lays a package down: the header into the stub's placeholder, the entries
// after the stub's bytes, the integrity record after them; into memory or,
// in one pass with entry data streamed from the source files, into a file.
#include "sfxpack/common/files.h"
#include "sfxpack/common/little_endian.h"
#include "sfxpack/pe/pe_image.h"
#include "sfxpack/pe/pe_resource.h"
#include "sfxpack/write/package.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "package/crc32.h"
#include "sfxpack/write/compress.h"
#include "sfxpack/write/patched_stub.h"
#include "sfxpack/write/write_behind.h"

namespace sfxpack {

void AppendIntegrityRecord(Bytes *out, int32_t entryCount, uint32_t headerCrc, const std::vector<uint32_t> &entryCrcs)
{
    IntegrityRecordHead head;
    std::memcpy(head.signature, INTEGRITY_SIGNATURE, INTEGRITY_SIGNATURE_SIZE);
    head.version = INTEGRITY_VERSION;
    head.entryCount = entryCount;
    head.headerCrc = headerCrc;
    size_t start = out->size();
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&head);
    out->insert(out->end(), bytes, bytes + sizeof head);
    for (uint32_t crc : entryCrcs)
        Append32(out, crc);
    Append32(out, Crc32Update(0, out->data() + start, out->size() - start));
}

namespace {

// Where a package's bytes go, in order: a buffer that grows to hold the whole
// package, or a file written behind on a second thread. Entry data is read
// straight into the free room, and its CRC taken there: of the very bytes
// that are written.
struct Output {
    Bytes memory;
    size_t used = 0;             // bytes of `memory` holding the package
    WriteBehind *file = nullptr;
    PeChecksum *checksum = nullptr;  // of every byte put, when wanted
};

// Free room at the end of the output, at least one byte; null after a
// failed write.
unsigned char *Room(Output *out, size_t *available)
{
    if (out->file)
        return out->file->Room(available);
    if (out->used == out->memory.size())
        out->memory.resize(out->memory.size() * 2 + COPY_CHUNK_SIZE);
    *available = out->memory.size() - out->used;
    return out->memory.data() + out->used;
}

void Use(Output *out, size_t length)
{
    if (out->file)
        out->file->Use(length);
    else
        out->used += length;
}

bool Put(Output *out, const unsigned char *data, size_t length)
{
    while (length > 0) {
        size_t available;
        unsigned char *at = Room(out, &available);
        if (!at)
            return false;
        size_t step = length < available ? length : available;
        std::memcpy(at, data, step);
        if (out->checksum)
            out->checksum->Add(at, step);
        Use(out, step);
        data += step;
        length -= step;
    }
    return true;
}


// nameLength, the scrambled name, dosDateTime and size: what precedes the data.
Bytes EntryFields(const Entry &entry)
{
    Bytes fields;
    Append32(&fields, static_cast<uint32_t>(entry.nameLength.value_or(static_cast<int32_t>(entry.name.size()))));
    fields.insert(fields.end(), entry.name.begin(), entry.name.end());
    ScrambleField(fields.data() + ENTRY_NAME_OFFSET, static_cast<int>(entry.name.size()));
    Append32(&fields, entry.dosDateTime);
    Append32(&fields, static_cast<uint32_t>(entry.size.value_or(static_cast<int32_t>(DataSize(entry)))));
    return fields;
}

// Reads up to `left` bytes of entry data into the output's free room. Gives
// the bytes read, 0 at the end of the file, -1 on a read error (in errno),
// -2 after a failed write (the output holds it).
int64_t ReadStep(int fd, Output *out, int64_t left, uint32_t *crc)
{
    size_t available;
    unsigned char *at = Room(out, &available);
    if (!at)
        return -2;
    if (int64_t(available) > left)
        available = static_cast<size_t>(left);
    auto got = read(fd, at, static_cast<unsigned>(available));
    if (got <= 0)
        return got;
    if (crc)
        *crc = Crc32Update(*crc, at, size_t(got));
    if (out->checksum)
        out->checksum->Add(at, size_t(got));
    Use(out, size_t(got));
    return got;
}

bool Changed(const Entry &entry, int fd, std::string *error)
{
    *error = entry.sourcePath + ": the file changed while it was read";
    close(fd);
    return false;
}

// Reads exactly `sourceSize` bytes of the entry's file, a `step` at a time;
// a file that has since shrunk or grown is refused. `step(fd, left)` reads
// up to `left` bytes to where they go and gives the bytes read, 0 at the
// end of the file, -1 on a read error (in errno), or -2 after a failure
// that `error` or the output already holds.
template <typename Step>
bool ReadSource(const Entry &entry, const Step &step, size_t entriesDone, int64_t *bytesDone,
                const ProgressCallback &progress, std::string *error)
{
    int fd = OpenFile(entry.sourcePath, O_RDONLY);
    if (fd < 0) {
        *error = entry.sourcePath + ": " + std::strerror(errno);
        return false;
    }
    for (int64_t left = entry.sourceSize; left > 0;) {
        int64_t got = step(fd, left);
        if (got < 0) {
            if (got == -1)
                *error = entry.sourcePath + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0)
            return Changed(entry, fd, error);
        left -= got;
        *bytesDone += got;
        if (progress)
            progress(entry, entriesDone, *bytesDone);
    }
    unsigned char more;
    if (read(fd, &more, 1) != 0)
        return Changed(entry, fd, error);
    close(fd);
    return true;
}

// Copies the entry's file into the output, adding it to `crc` unless that
// is null.
bool CopySource(const Entry &entry, Output *out, uint32_t *crc, size_t entriesDone, int64_t *bytesDone,
                const ProgressCallback &progress, std::string *error)
{
    auto step = [&](int fd, int64_t left) { return ReadStep(fd, out, left, crc); };
    return ReadSource(entry, step, entriesDone, bytesDone, progress, error);
}

// Cuts the entry stream into chunks as it comes and compresses them a
// group at a time, one chunk a thread, keeping only the packed bytes.
struct ChunkCutter {
    size_t chunkSize;
    unsigned threads;
    Bytes current;
    std::vector<Bytes> pending;
    std::vector<PackedChunk> chunks;
    int64_t streamLength = 0;

    bool CompressPending(std::string *error)
    {
        bool done = CompressChunks(pending, threads, &chunks, error);
        pending.clear();
        return done;
    }

    bool Add(const unsigned char *data, size_t length, std::string *error)
    {
        streamLength += length;
        while (length > 0) {
            size_t step = std::min(length, chunkSize - current.size());
            current.insert(current.end(), data, data + step);
            data += step;
            length -= step;
            if (current.size() == chunkSize) {
                pending.push_back(std::move(current));
                current = Bytes();
                if (pending.size() == threads && !CompressPending(error))
                    return false;
            }
        }
        return true;
    }

    bool Finish(std::string *error)
    {
        if (!current.empty())
            pending.push_back(std::move(current));
        return CompressPending(error);
    }
};

// Adds the entry's file to the entry stream and to `crc`.
bool CutSource(const Entry &entry, ChunkCutter *cutter, uint32_t *crc, size_t entriesDone, int64_t *bytesDone,
               const ProgressCallback &progress, std::string *error)
{
    Bytes piece(COPY_CHUNK_SIZE);
    auto step = [&](int fd, int64_t left) -> int64_t {
        auto got = read(fd, piece.data(), static_cast<unsigned>(std::min<int64_t>(left, COPY_CHUNK_SIZE)));
        if (got <= 0)
            return got;
        *crc = Crc32Update(*crc, piece.data(), size_t(got));
        return cutter->Add(piece.data(), size_t(got), error) ? got : -2;
    };
    return ReadSource(entry, step, entriesDone, bytesDone, progress, error);
}

// The compressed payload from payloadOffset to packageLength, and the CRC of
// each entry of the entry stream for the record.
bool CompressedPayload(const Package &package, Bytes *payload, std::vector<uint32_t> *entryCrcs,
                       int64_t *bytesDone, const ProgressCallback &progress, std::string *error)
{
    unsigned threads = package.threads ? package.threads : std::max(1u, std::thread::hardware_concurrency());
    ChunkCutter cutter{package.chunkSize, threads, {}, {}, {}, 0};
    Bytes directory;
    for (const Entry &entry : package.entries) {
        Bytes fields = EntryFields(entry);
        directory.insert(directory.end(), fields.begin(), fields.end());
        uint32_t crc = Crc32Update(0, fields.data(), fields.size());
        if (!cutter.Add(fields.data(), fields.size(), error))
            return false;
        if (entry.sourcePath.empty()) {
            crc = Crc32Update(crc, entry.data.data(), entry.data.size());
            if (!cutter.Add(entry.data.data(), entry.data.size(), error))
                return false;
            *bytesDone += entry.data.size();
        } else if (!CutSource(entry, &cutter, &crc, entryCrcs->size(), bytesDone, progress, error)) {
            return false;
        }
        entryCrcs->push_back(crc);
        if (cutter.streamLength > INT32_MAX) {
            *error = "the entries would unpack to more than 2 GiB";
            return false;
        }
    }
    if (!cutter.Finish(error))
        return false;

    int32_t chunkCapacity = 0, packedCapacity = 0;
    for (const PackedChunk &chunk : cutter.chunks) {
        chunkCapacity = std::max(chunkCapacity, chunk.header.unpackedSize);
        packedCapacity = std::max(packedCapacity, chunk.header.packedSize);
    }
    payload->clear();
    Append32(payload, static_cast<uint32_t>(cutter.streamLength));
    Append32(payload, static_cast<uint32_t>(directory.size()));
    Append32(payload, static_cast<uint32_t>(cutter.chunks.size()));
    Append32(payload, static_cast<uint32_t>(chunkCapacity));
    Append32(payload, static_cast<uint32_t>(packedCapacity));
    Append32(payload, Crc32Update(Crc32Update(0, payload->data(), payload->size()), directory.data(),
                                  directory.size()));
    payload->insert(payload->end(), directory.begin(), directory.end());
    for (const PackedChunk &chunk : cutter.chunks) {
        const unsigned char *header = reinterpret_cast<const unsigned char *>(&chunk.header);
        payload->insert(payload->end(), header, header + sizeof chunk.header);
        payload->insert(payload->end(), chunk.packed.begin(), chunk.packed.end());
    }
    return true;
}

// The one sequence both writers follow: patched stub, entries, record.
// A failed write is left in the output for the caller to report. With
// `imageChecksum`, the output's checksum sums the whole package, whose
// value goes to `checksumOffset` once it is written.
bool LayDown(const Bytes &stub, const Package &package, Output *out, size_t *checksumOffset,
             const ProgressCallback &progress, std::string *error)
{
    std::vector<uint32_t> entryCrcs;
    Bytes payload;
    int64_t bytesDone = 0;
    if (package.compress && !CompressedPayload(package, &payload, &entryCrcs, &bytesDone, progress, error))
        return false;
    Bytes head;
    size_t headerOffset;
    if (!PatchedStub(stub, package, package.compress ? int64_t(payload.size()) : -1, &head, &headerOffset,
                     checksumOffset, error))
        return false;
    if (!Put(out, head.data(), head.size()))
        return false;
    if (package.compress && !Put(out, payload.data(), payload.size()))
        return false;

    static const std::vector<Entry> none;
    for (const Entry &entry : package.compress ? none : package.entries) {
        Bytes fields = EntryFields(entry);
        uint32_t crc = 0, *record = package.integrityRecord ? &crc : nullptr;
        if (record)
            crc = Crc32Update(crc, fields.data(), fields.size());
        if (!Put(out, fields.data(), fields.size()))
            return false;
        if (entry.sourcePath.empty()) {
            if (record)
                crc = Crc32Update(crc, entry.data.data(), entry.data.size());
            if (!Put(out, entry.data.data(), entry.data.size()))
                return false;
            bytesDone += entry.data.size();
        } else if (!CopySource(entry, out, record, entryCrcs.size(), &bytesDone, progress, error)) {
            return false;
        }
        entryCrcs.push_back(crc);
    }
    if (progress && !package.entries.empty())
        progress(package.entries.back(), entryCrcs.size(), bytesDone);
    if (package.integrityRecord || package.compress) {
        int32_t entryCount;  // as the header holds it, overrides included
        std::memcpy(&entryCount, &head[headerOffset + offsetof(PackageHeader, entryCount)], sizeof entryCount);
        Bytes record;
        AppendIntegrityRecord(&record, entryCount, Crc32Update(0, &head[headerOffset], PACKAGE_HEADER_SIZE),
                              entryCrcs);
        if (!Put(out, record.data(), record.size()))
            return false;
    }
    return true;
}

}  // namespace

bool BuildPackage(const Bytes &stub, const Package &package, Bytes *out, std::string *error)
{
    Output output;
    PeChecksum checksum;
    output.checksum = package.imageChecksum ? &checksum : nullptr;
    size_t checksumOffset;
    if (!LayDown(stub, package, &output, &checksumOffset, nullptr, error))
        return false;
    output.memory.resize(output.used);
    if (package.imageChecksum)
        Store32(&output.memory, checksumOffset, checksum.Value());
    if (package.truncateAt) {
        if (*package.truncateAt > output.used) {
            *error = "truncateAt " + std::to_string(*package.truncateAt) + " lies beyond the package's " +
                     std::to_string(output.used) + " bytes";
            return false;
        }
        output.memory.resize(*package.truncateAt);
    }
    *out = std::move(output.memory);
    return true;
}

bool WritePackageFile(const Bytes &stub, const Package &package, const std::string &path,
                      const ProgressCallback &progress, std::string *error)
{
    if (package.truncateAt) {
        *error = "truncateAt is for packages built in memory";
        return false;
    }
    std::string temporary;
    int fd = CreateTemporary(path, &temporary, error);
    if (fd < 0)
        return false;
    bool laidDown = false;
    int writeError = 0;
    try {
        WriteBehind file(fd, COPY_CHUNK_SIZE);
        Output output;
        output.file = &file;
        PeChecksum checksum;
        output.checksum = package.imageChecksum ? &checksum : nullptr;
        size_t checksumOffset;
        laidDown = LayDown(stub, package, &output, &checksumOffset, progress, error) && file.Finish();
        writeError = file.error();
        if (laidDown && package.imageChecksum) {
            Bytes value;
            Append32(&value, checksum.Value());
            laidDown = lseek(fd, off_t(checksumOffset), SEEK_SET) >= 0 && write(fd, value.data(), 4) == 4;
            if (!laidDown)
                writeError = errno;
        }
    } catch (const std::system_error &failure) {  // no thread could be started
        *error = path + ": " + failure.what();
    }
    if (!laidDown) {
        if (writeError)
            *error = path + ": " + std::strerror(writeError);
        DiscardTemporary(fd, temporary);
        return false;
    }
    return FinishTemporary(fd, temporary, path, error);
}

}  // namespace sfxpack
