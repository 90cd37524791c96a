// The bytes BuildPackage lays down, its overrides for malformed packages,
// and the faults that reading a package back reports.
#include "tests/unit/support.h"

#include <cstring>
#include <lzma.h>

#include "package/crc32.h"

namespace {

using namespace unit;
using sfxpack::Entry;
using sfxpack::Package;

uint32_t U32(const Bytes &bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

Bytes Pattern(size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = static_cast<unsigned char>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    return bytes;
}

Package ThreeEntries()
{
    Package package;
    package.password = "secret";
    package.setupCommand = "setup.exe /q";
    package.productTitle = "Product";
    package.sourcePrefix = "C:\\src\\";
    package.entries.push_back({"C:\\src\\one.bin", Pattern(1, 1), 0x12345678, {}, {}});
    package.entries.push_back({"C:\\src\\dir\\two.bin", Pattern(8192, 2), 0x00210021, {}, {}});
    package.entries.push_back({"C:\\src\\dir\\three.bin", Pattern(8193, 3), 0xBF7DFF9F, {}, {}});
    return package;
}

class Writer : public testing::Test {
protected:
    void SetUp() override
    {
        stub = Stub();
        std::string error;
        ASSERT_TRUE(sfxpack::FindHeaderResource(stub, &location, &error)) << error;
    }
    Bytes Build(const Package &package)
    {
        Bytes out;
        std::string error;
        EXPECT_TRUE(sfxpack::BuildPackage(stub, package, &out, &error)) << error;
        return out;
    }
    // The reader's verdict on a package.
    std::string Fault(const Package &package)
    {
        sfxpack::ParsedPackage parsed;
        std::string error;
        EXPECT_FALSE(sfxpack::ParsePackage(Build(package), &parsed, &error));
        return error;
    }
    size_t Field(size_t offset) const { return location.fileOffset + offset; }

    Bytes stub;
    sfxpack::ResourceLocation location;
};

TEST_F(Writer, LaysDownTheHeaderAndEntriesExactly)
{
    Bytes out = Build(ThreeEntries());
    size_t h = location.fileOffset;
    // The stub is unchanged outside the placeholder.
    for (size_t i = 0; i < stub.size(); i++)
        if (i < h || i >= h + 404)
            ASSERT_EQ(out[i], stub[i]) << i;

    size_t entries = 3 * 12 + 14 + 18 + 20 + 1 + 8192 + 8193;
    EXPECT_EQ(U32(out, h + 0), 404u);
    EXPECT_EQ(U32(out, h + 4), 6u);
    EXPECT_EQ(U32(out, h + 8), stub.size());
    EXPECT_EQ(U32(out, h + 12), 3u);
    EXPECT_EQ(U32(out, h + 16), stub.size() + entries);
    EXPECT_EQ(U32(out, h + 20), 1u + 1u + 2u);
    EXPECT_EQ(U32(out, h + 24), 0u);
    EXPECT_EQ(out.size(), stub.size() + entries);

    const struct {
        size_t offset;
        int width;
        const char *text;
    } fields[] = {{28, 40, "secret"}, {68, 128, "setup.exe /q"}, {196, 80, "Product"}, {276, 128, "C:\\src\\"}};
    for (const auto &field : fields) {
        Bytes bytes(out.begin() + h + field.offset, out.begin() + h + field.offset + field.width);
        UnscrambleField(bytes.data(), field.width);
        Bytes expected(field.width, 0);
        std::memcpy(expected.data(), field.text, std::strlen(field.text));
        EXPECT_EQ(bytes, expected) << field.text;
    }

    size_t at = stub.size();
    for (const Entry &entry : ThreeEntries().entries) {
        ASSERT_EQ(U32(out, at), entry.name.size());
        std::string name(out.begin() + at + 4, out.begin() + at + 4 + entry.name.size());
        EXPECT_NE(name, entry.name);
        UnscrambleField(&name[0], static_cast<int>(name.size()));
        EXPECT_EQ(name, entry.name);
        at += 4 + entry.name.size();
        EXPECT_EQ(U32(out, at), entry.dosDateTime);
        EXPECT_EQ(U32(out, at + 4), entry.data.size());
        EXPECT_TRUE(std::equal(entry.data.begin(), entry.data.end(), out.begin() + at + 8));
        at += 8 + entry.data.size();
    }
}

// A compressed package: the stored package's entries, cut into chunks that
// liblzma, the independent decoder, gives back exactly; a directory of their
// fields; the same record; the same bytes whatever the number of threads,
// and streamed from files as built in memory.
TEST_F(Writer, LaysDownACompressedPackageThatLiblzmaDecodes)
{
    Package stored = ThreeEntries();
    stored.integrityRecord = true;
    stored.exitCodes = true;
    Bytes plain = Build(stored);
    Package compressed = stored;
    compressed.compress = true;
    compressed.chunkSize = 7000;
    compressed.threads = 1;
    Bytes out = Build(compressed);
    for (unsigned threads : {2u, 3u}) {
        compressed.threads = threads;
        EXPECT_TRUE(Build(compressed) == out) << threads << " threads";
    }
    TempDir tmp;
    Package streamed = compressed;
    for (size_t i = 0; i < streamed.entries.size(); i++) {
        Entry &entry = streamed.entries[i];
        entry.sourcePath = tmp / ("source" + std::to_string(i));
        entry.sourceSize = int64_t(entry.data.size());
        WriteBytes(entry.sourcePath, entry.data);
        entry.data.clear();
    }
    std::string error;
    ASSERT_TRUE(sfxpack::WritePackageFile(stub, streamed, tmp / "pkg.exe", nullptr, &error)) << error;
    EXPECT_TRUE(ReadFile(tmp / "pkg.exe") == out);

    size_t h = location.fileOffset, at = stub.size();
    EXPECT_EQ(U32(plain, h + 24), uint32_t(INTEGRITY_EXIT_CODES_MARK));
    EXPECT_EQ(U32(out, h + 24), uint32_t(FEATURE_TAG | (FEATURE_INTEGRITY_RECORD | FEATURE_EXIT_CODES |
                                                         FEATURE_LZMA_CHUNKS) << 8));
    EXPECT_EQ(U32(out, h + 20), U32(plain, h + 20));  // totalBlocks
    Bytes entries(plain.begin() + stub.size(), plain.begin() + U32(plain, h + 16));
    ASSERT_EQ(U32(out, at), entries.size());  // unpackedLength
    size_t directoryLength = U32(out, at + 4), chunkCount = U32(out, at + 8);
    EXPECT_EQ(chunkCount, (entries.size() + 6999) / 7000);
    EXPECT_EQ(U32(out, at + 12), 7000u);
    EXPECT_EQ(directoryLength, 3 * 12 + 14 + 18 + 20u);
    uint32_t headCrc = Crc32Update(Crc32Update(0, &out[at], 20), &out[at + 24], directoryLength);
    EXPECT_EQ(U32(out, at + 20), headCrc);
    // The directory: each entry's fields as stored, without the data.
    Bytes directory(out.begin() + at + 24, out.begin() + at + 24 + directoryLength), expected;
    for (size_t e = 0; e < entries.size();) {
        size_t fields = 12 + U32(entries, e);
        expected.insert(expected.end(), entries.begin() + e, entries.begin() + e + fields);
        e += fields + U32(entries, e + fields - 4);
    }
    EXPECT_TRUE(directory == expected);

    at += 24 + directoryLength;
    Bytes decoded;
    for (size_t c = 0; c < chunkCount; c++) {
        ChunkHeader chunk;
        std::memcpy(&chunk, &out[at], sizeof chunk);
        EXPECT_EQ(chunk.method, CHUNK_METHOD_LZMA);
        EXPECT_EQ(chunk.properties[0], (2 * 5 + 0) * 9 + 3);  // lc 3, lp 0, pb 2
        EXPECT_EQ(chunk.crc, Crc32Update(Crc32Update(0, &chunk, 16), &out[at + 20], chunk.packedSize));
        lzma_options_lzma options;
        lzma_lzma_preset(&options, 9);
        options.dict_size = ChunkDictionarySize(chunk.properties);
        lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        lzma_stream stream = LZMA_STREAM_INIT;
        ASSERT_EQ(lzma_raw_decoder(&stream, filters), LZMA_OK);
        Bytes piece(chunk.unpackedSize + 1);
        stream.next_in = &out[at + 20];
        stream.avail_in = chunk.packedSize;
        stream.next_out = piece.data();
        stream.avail_out = piece.size();
        EXPECT_EQ(lzma_code(&stream, LZMA_FINISH), LZMA_STREAM_END) << "chunk " << c;
        EXPECT_EQ(stream.avail_in, 0u);
        EXPECT_EQ(stream.avail_out, 1u) << "chunk " << c;
        lzma_end(&stream);
        decoded.insert(decoded.end(), piece.begin(), piece.end() - 1);
        at += 20 + chunk.packedSize;
    }
    EXPECT_TRUE(decoded == entries);
    EXPECT_EQ(U32(out, h + 16), at);  // packageLength
    // The record after the chunks, with the stored package's entry CRCs.
    EXPECT_TRUE(Bytes(out.begin() + at + 20, out.end() - 4) ==
                Bytes(plain.begin() + U32(plain, h + 16) + 20, plain.end() - 4));
    sfxpack::ParsedPackage parsed;
    EXPECT_TRUE(sfxpack::ParsePackage(out, &parsed, &error)) << error;
    EXPECT_EQ(parsed.entries.size(), 3u);
}

// The streaming writer lays down the very bytes built in memory, with entry
// data copied from files in chunks; so does BuildPackage reading the files.
// A file that shrank or grew since it was listed is refused and the previous
// package stays.
TEST_F(Writer, StreamsFromFilesTheBytesItBuildsInMemory)
{
    TempDir tmp;
    Package inMemory = ThreeEntries();
    inMemory.entries.insert(inMemory.entries.begin() + 1,
                            {"C:\\src\\big.bin", Pattern(5 * sfxpack::COPY_CHUNK_SIZE + 4099, 4), 0x00210021, {}, {}});
    Package streamed = inMemory;
    int64_t totalBytes = 0;
    for (size_t i = 0; i < streamed.entries.size(); i++) {
        Entry &entry = streamed.entries[i];
        entry.sourcePath = tmp / ("source" + std::to_string(i));
        entry.sourceSize = int64_t(entry.data.size());
        totalBytes += entry.sourceSize;
        WriteBytes(entry.sourcePath, entry.data);
        entry.data.clear();
    }
    std::string path = tmp / "pkg.exe", error;
    for (bool record : {false, true}) {
        inMemory.integrityRecord = streamed.integrityRecord = record;
        size_t lastEntriesDone = 0;
        int64_t lastBytesDone = 0;
        auto progress = [&](const Entry &, size_t entriesDone, int64_t bytesDone) {
            lastEntriesDone = entriesDone;
            lastBytesDone = bytesDone;
        };
        ASSERT_TRUE(sfxpack::WritePackageFile(stub, streamed, path, progress, &error)) << error;
        Bytes built = Build(inMemory);
        EXPECT_TRUE(ReadFile(path) == built) << "record " << record;
        EXPECT_TRUE(Build(streamed) == built) << "record " << record;  // read from the files into memory
        EXPECT_EQ(lastEntriesDone, 4u);
        EXPECT_EQ(lastBytesDone, totalBytes);
    }
    Bytes previous = ReadFile(path);

    const std::string &big = streamed.entries[1].sourcePath;
    for (size_t size : {sfxpack::COPY_CHUNK_SIZE + 1, 2 * sfxpack::COPY_CHUNK_SIZE + 4100}) {
        WriteBytes(big, Pattern(size, 4));
        EXPECT_FALSE(sfxpack::WritePackageFile(stub, streamed, path, nullptr, &error));
        EXPECT_EQ(error, big + ": the file changed while it was read");
        EXPECT_TRUE(ReadFile(path) == previous);
        EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 5);  // the sources and the package
    }
}

TEST_F(Writer, HeaderOverridesAreWrittenAsGiven)
{
    Package package = ThreeEntries();
    package.headerSize = 405;
    package.formatVersion = 5;
    package.payloadOffset = -1;
    package.entryCount = 0;
    package.packageLength = 7;
    package.totalBlocks = -3;
    package.rawPasswordField = Bytes(40, 'p');
    package.rawProductTitleField = Bytes{'T', 0, 'x'};
    Bytes out = Build(package);
    size_t h = location.fileOffset;
    EXPECT_EQ(int32_t(U32(out, h + 0)), 405);
    EXPECT_EQ(int32_t(U32(out, h + 4)), 5);
    EXPECT_EQ(int32_t(U32(out, h + 8)), -1);
    EXPECT_EQ(int32_t(U32(out, h + 12)), 0);
    EXPECT_EQ(int32_t(U32(out, h + 16)), 7);
    EXPECT_EQ(int32_t(U32(out, h + 20)), -3);
    Bytes password(out.begin() + h + 28, out.begin() + h + 68);
    UnscrambleField(password.data(), 40);
    EXPECT_EQ(password, Bytes(40, 'p'));
    Bytes title(out.begin() + h + 196, out.begin() + h + 276);
    UnscrambleField(title.data(), 80);
    Bytes expected(80, 0);
    expected[0] = 'T';
    expected[2] = 'x';
    EXPECT_EQ(title, expected);
    // The entries are still all there, whatever the header says.
    EXPECT_EQ(out.size(), Build(ThreeEntries()).size());
}

TEST_F(Writer, EntryOverridesChangeOnlyTheirField)
{
    Package package = ThreeEntries();
    package.entries[1].nameLength = 261;
    package.entries[2].size = -5;
    Bytes out = Build(package);
    Bytes normal = Build(ThreeEntries());
    ASSERT_EQ(out.size(), normal.size());
    size_t second = stub.size() + 12 + 14 + 1;
    size_t thirdSize = second + 12 + 18 + 8192 + 4 + 20 + 4;
    EXPECT_EQ(U32(out, second), 261u);
    EXPECT_EQ(int32_t(U32(out, thirdSize)), -5);
    for (size_t i = 0; i < out.size(); i++)
        if ((i < second || i >= second + 4) && (i < thirdSize || i >= thirdSize + 4))
            ASSERT_EQ(out[i], normal[i]) << i;
}

TEST_F(Writer, TruncatesAtAnyByteAndRefusesWhatDoesNotFit)
{
    Package package = ThreeEntries();
    package.truncateAt = stub.size() + 3;
    Bytes out = Build(package);
    Bytes normal = Build(ThreeEntries());
    EXPECT_EQ(out, Bytes(normal.begin(), normal.begin() + stub.size() + 3));

    std::string error;
    package.truncateAt = normal.size() + 1;
    EXPECT_FALSE(sfxpack::BuildPackage(stub, package, &out, &error));
    EXPECT_EQ(error, "truncateAt " + std::to_string(normal.size() + 1) + " lies beyond the package's " +
                         std::to_string(normal.size()) + " bytes");

    package = ThreeEntries();
    package.password = std::string(40, 'p');
    EXPECT_FALSE(sfxpack::BuildPackage(stub, package, &out, &error));
    EXPECT_EQ(error, "password: 40 bytes, at most 39 fit");
    package.password.clear();
    package.rawSetupCommandField = Bytes(129, 's');
    EXPECT_FALSE(sfxpack::BuildPackage(stub, package, &out, &error));
    EXPECT_EQ(error, "setup command: raw field of 129 bytes, wider than 128");
}

TEST_F(Writer, ReadsBackWhatItWrote)
{
    sfxpack::ParsedPackage parsed = Parse(Build(ThreeEntries()));
    EXPECT_EQ(parsed.password, "secret");
    EXPECT_EQ(parsed.setupCommand, "setup.exe /q");
    EXPECT_EQ(parsed.productTitle, "Product");
    EXPECT_EQ(parsed.sourcePrefix, "C:\\src\\");
    ASSERT_EQ(parsed.entries.size(), 3u);
    EXPECT_EQ(parsed.entries[2].name, "C:\\src\\dir\\three.bin");
    EXPECT_EQ(parsed.entries[2].size, 8193);
    EXPECT_EQ(parsed.entries[2].dosDateTime, 0xBF7DFF9Fu);
}

TEST_F(Writer, ReaderNamesTheHeaderFieldAtFault)
{
    size_t h = location.fileOffset;
    Package package = ThreeEntries();
    package.headerSize = 405;
    EXPECT_EQ(Fault(package), "header: headerSize at offset " + std::to_string(h) + " is 405, not 404");
    package = ThreeEntries();
    package.formatVersion = 5;
    EXPECT_EQ(Fault(package), "header: formatVersion at offset " + std::to_string(h + 4) + " is 5, not 6");
    package = ThreeEntries();
    package.entryCount = -2;
    EXPECT_EQ(Fault(package), "header: entryCount at offset " + std::to_string(h + 12) + " is -2; at least 1 is needed");
    package = ThreeEntries();
    package.packageLength = 100;
    EXPECT_EQ(Fault(package), "header: packageLength at offset " + std::to_string(h + 16) +
                                  " is 100, but the entries end at " + std::to_string(Build(ThreeEntries()).size()) +
                                  "; without an integrity record the launcher would extract them all the same");
    package = ThreeEntries();
    package.totalBlocks = 0;
    EXPECT_EQ(Fault(package), "header: totalBlocks at offset " + std::to_string(h + 20) +
                                  " is 0, but the entries hold 4 blocks; the launcher would extract them all the same, its progress wrong");
    package = ThreeEntries();
    package.rawSourcePrefixField = Bytes(128, 'c');
    EXPECT_EQ(Fault(package),
              "header: sourcePrefix at offset " + std::to_string(h + 276) + " holds no NUL within its 128 bytes; the launcher would cut it to 127");
    package = ThreeEntries();
    package.resourceSize = 300;
    EXPECT_EQ(Fault(package), "header: the resource at offset " + std::to_string(h) + " is 300 bytes, fewer than 404");
    package.resourceSize = 422;
    Parse(Build(package));
    package.hideResource = true;
    EXPECT_EQ(Fault(package), "no header resource (MYRESOURCE of type 1024): no resource named MYRESOURCE of type 1024");
}

TEST_F(Writer, ReaderNamesTheEntryFieldAndOffsetAtFault)
{
    size_t first = stub.size(), second = first + 12 + 14 + 1, third = second + 12 + 18 + 8192;
    Package package = ThreeEntries();
    package.entries[1].nameLength = 0;
    EXPECT_EQ(Fault(package), "entry 2 of 3: nameLength at offset " + std::to_string(second) + " is 0, outside 1..260");
    package.entries[1].nameLength = 261;
    EXPECT_EQ(Fault(package), "entry 2 of 3: nameLength at offset " + std::to_string(second) + " is 261, outside 1..260");
    package = ThreeEntries();
    package.entries[2].size = 0;
    EXPECT_EQ(Fault(package), "entry 3 of 3: size at offset " + std::to_string(third + 4 + 20 + 4) +
                                  " is 0; it must be above 0");
    package = ThreeEntries();
    package.entries[0].name = std::string("a\0b", 3);
    EXPECT_EQ(Fault(package), "entry 1 of 3: name at offset " + std::to_string(first + 4) + " holds a NUL at byte 1; the launcher would take the name as ending there");

    const struct {
        size_t cut;
        std::string fault;
    } cuts[] = {
        {second + 2, "entry 2 of 3: nameLength at offset " + std::to_string(second) + ": the file ends after 2 of 4 bytes"},
        {second + 4, "entry 2 of 3: name at offset " + std::to_string(second + 4) + ": the file ends after 0 of 18 bytes"},
        {second + 4 + 18 + 1,
         "entry 2 of 3: dosDateTime at offset " + std::to_string(second + 22) + ": the file ends after 1 of 4 bytes"},
        {second + 4 + 18 + 7,
         "entry 2 of 3: size at offset " + std::to_string(second + 26) + ": the file ends after 3 of 4 bytes"},
        {third - 1,
         "entry 2 of 3: data at offset " + std::to_string(second + 30) + ": the file ends after 8191 of 8192 bytes"},
        {third, "entry 3 of 3: nameLength at offset " + std::to_string(third) + ": the file ends after 0 of 4 bytes"},
    };
    for (const auto &cut : cuts) {
        package = ThreeEntries();
        package.truncateAt = cut.cut;
        EXPECT_EQ(Fault(package), cut.fault);
    }
}

}  // namespace
