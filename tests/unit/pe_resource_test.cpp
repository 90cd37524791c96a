// The walk to the header placeholder, on real stubs built by the toolchain.
#include "tests/unit/support.h"

#include <cstring>

namespace {

using namespace unit;
using sfxpack::ResourceLocation;

uint32_t U32(const Bytes &bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

// The placeholder as the resource script embeds it, the name in UTF-16.
void ExpectPlaceholder(const Bytes &stub, const std::string &what)
{
    SCOPED_TRACE(what);
    ResourceLocation location;
    std::string error;
    ASSERT_TRUE(sfxpack::FindHeaderResource(stub, &location, &error)) << error;
    EXPECT_EQ(location.size, 404u);
    EXPECT_EQ(U32(stub, location.sizeFieldOffset), 404u);
    Bytes placeholder = ReadFile(std::string(std::getenv("SFX_SOURCE_DIR")) + "/resources/header.bin");
    ASSERT_EQ(placeholder.size(), 404u);
    EXPECT_TRUE(std::equal(placeholder.begin(), placeholder.end(), stub.begin() + location.fileOffset));
    const char name[] = "MYRESOURCE";
    EXPECT_EQ(stub[location.nameOffset - 2], 10);
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(stub[location.nameOffset + 2 * i], name[i]);
        EXPECT_EQ(stub[location.nameOffset + 2 * i + 1], 0);
    }
}

TEST(FindHeaderResource, FindsThePlaceholderInTheStandInStub)
{
    ExpectPlaceholder(Stub(), StubPath());
}

TEST(FindHeaderResource, FindsThePlaceholderInTheBuiltLauncher)
{
    if (RealLauncher().empty())
        GTEST_SKIP() << "launcher.exe not built yet";
    ExpectPlaceholder(ReadFile(RealLauncher()), RealLauncher());
}

TEST(FindHeaderResource, SeesTheRecordedSizeAndTheHiddenName)
{
    Bytes stub = Stub();
    ResourceLocation original;
    std::string error;
    ASSERT_TRUE(sfxpack::FindHeaderResource(stub, &original, &error)) << error;
    sfxpack::Package package;
    package.entries.push_back({"a.txt", {'x'}, 0x21, {}, {}});

    for (uint32_t size : {422u, 300u}) {
        package.resourceSize = size;
        Bytes out;
        ASSERT_TRUE(sfxpack::BuildPackage(stub, package, &out, &error)) << error;
        ResourceLocation location;
        ASSERT_TRUE(sfxpack::FindHeaderResource(out, &location, &error)) << error;
        EXPECT_EQ(location.size, size);
        EXPECT_EQ(location.fileOffset, original.fileOffset);
        // Only the size field differs from a package with the true size.
        Bytes normal;
        sfxpack::Package plain = package;
        plain.resourceSize.reset();
        ASSERT_TRUE(sfxpack::BuildPackage(stub, plain, &normal, &error)) << error;
        for (size_t i = 0; i < out.size(); i++)
            if (i < original.sizeFieldOffset || i >= original.sizeFieldOffset + 4)
                ASSERT_EQ(out[i], normal[i]) << "offset " << i;
    }

    package.resourceSize.reset();
    package.hideResource = true;
    Bytes hidden;
    ASSERT_TRUE(sfxpack::BuildPackage(stub, package, &hidden, &error)) << error;
    ResourceLocation location;
    EXPECT_FALSE(sfxpack::FindHeaderResource(hidden, &location, &error));
    EXPECT_EQ(error, "no resource named MYRESOURCE of type 1024");
    EXPECT_EQ(hidden[original.nameOffset], 'X');
}

TEST(FindHeaderResource, RefusesWhatIsNoExecutable)
{
    ResourceLocation location;
    std::string error;
    Bytes text{'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(sfxpack::FindHeaderResource(text, &location, &error));
    EXPECT_EQ(error, "not a Windows executable (no MZ header)");

    // Every cut of a real stub before the end of the placeholder fails
    // cleanly, never reading past the end.
    Bytes stub = Stub();
    ResourceLocation whole;
    ASSERT_TRUE(sfxpack::FindHeaderResource(stub, &whole, &error)) << error;
    for (size_t cut = 0; cut < whole.fileOffset + 404; cut += 61) {
        Bytes part(stub.begin(), stub.begin() + cut);
        EXPECT_FALSE(sfxpack::FindHeaderResource(part, &location, &error)) << "cut at " << cut;
        EXPECT_FALSE(error.empty());
    }
}

void Put32(Bytes *bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        (*bytes)[at + i] = static_cast<unsigned char>(value >> 8 * i);
}

// A PE32 image of `sections` sections, the last holding the resources: type
// 1024 with `decoys` names of ten letters before MYRESOURCE. Each lookup
// used to scan every section, so that this took seconds; found or refused,
// it now takes milliseconds.
Bytes CraftedImage(uint32_t sections, uint32_t decoys)
{
    const size_t optional = 0x58, table = optional + 224;
    const size_t resources = table + sections * 40;
    const uint32_t rva = 0x1000 + sections * 0x10;
    const size_t typeDir = 24, names = typeDir + 16 + (decoys + 1) * 8;
    const size_t languageDir = names + (decoys + 1) * 22, dataEntry = languageDir + 24, data = dataEntry + 16;
    Bytes image(resources + data + 404);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(&image, 0x3C, 0x40);
    std::memcpy(&image[0x40], "PE\0\0", 4);
    Put32(&image, 0x44, 0x14C | sections << 16);
    Put32(&image, 0x54, 224);
    Put32(&image, optional, 0x10B);
    Put32(&image, optional + 92, 16);
    Put32(&image, optional + 96 + 2 * 8, rva);
    for (uint32_t i = 0; i < sections; i++) {
        size_t header = table + i * 40;
        bool last = i + 1 == sections;
        Put32(&image, header + 12, last ? rva : 0x1000 + i * 0x10);
        Put32(&image, header + 16, last ? uint32_t(image.size() - resources) : 0x10);
        Put32(&image, header + 20, last ? uint32_t(resources) : 0);
    }
    Bytes &r = image;
    size_t at = resources;
    Put32(&r, at + 12, 1 << 16);
    Put32(&r, at + 16, 1024);
    Put32(&r, at + 20, 0x80000000u | typeDir);
    Put32(&r, at + typeDir + 12, decoys + 1);
    for (uint32_t i = 0; i <= decoys; i++) {
        size_t entry = at + typeDir + 16 + i * 8, name = names + i * 22;
        Put32(&r, entry, 0x80000000u | uint32_t(name));
        Put32(&r, entry + 4, 0x80000000u | uint32_t(languageDir));
        const char *text = i < decoys ? "MYRESOURCX" : "MYRESOURCE";
        r[at + name] = 10;
        for (int c = 0; c < 10; c++)
            r[at + name + 2 + 2 * c] = text[c];
    }
    Put32(&r, at + languageDir + 12, 1 << 16);
    Put32(&r, at + languageDir + 16, 1033);
    Put32(&r, at + languageDir + 20, uint32_t(dataEntry));
    Put32(&r, at + dataEntry, rva + uint32_t(data));
    Put32(&r, at + dataEntry + 4, 404);
    return image;
}

TEST(FindHeaderResource, ManySectionsAndNamesCostLittleAndStillFindTheOne)
{
    Bytes image = CraftedImage(10000, 30000);
    ResourceLocation location;
    std::string error;
    ASSERT_TRUE(sfxpack::FindHeaderResource(image, &location, &error)) << error;
    EXPECT_EQ(location.fileOffset, image.size() - 404);
    EXPECT_EQ(location.size, 404u);

    // Windows loads no image whose sections do not ascend.
    Put32(&image, 0x58 + 224 + 5 * 40 + 12, 0x1000);
    EXPECT_FALSE(sfxpack::FindHeaderResource(image, &location, &error));
    EXPECT_EQ(error, "section 6 lies below the one before it");
}

}  // namespace
