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

}  // namespace
