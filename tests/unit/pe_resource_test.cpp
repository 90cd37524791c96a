// The walk to the header placeholder, on real stubs built by the toolchain.
#include "tests/unit/support.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "sfxpack/pe/pe_image.h"
#include "sfxpack/pe/resource_tree.h"

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

int Shell(const std::string &command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What `tool` prints on standard output.
std::string Output(const std::string &command, const TempDir &tmp)
{
    Shell(command + " >'" + (tmp / "tool.out") + "' 2>/dev/null");
    return ReadText(tmp / "tool.out");
}

uint32_t Checksum(const Bytes &file)
{
    sfxpack::PeImage image;
    std::string error;
    EXPECT_TRUE(sfxpack::ReadPeImage(file, &image, &error)) << error;
    return U32(file, image.ChecksumOffset());
}

// The resources of `file`; `laidOut` tells whether laying them out again
// gives the very bytes of its resource directory.
std::vector<sfxpack::Resource> Resources(const Bytes &file, bool *laidOut = nullptr)
{
    sfxpack::PeImage image;
    Bytes raw;
    uint32_t rva;
    std::vector<sfxpack::Resource> resources;
    std::string error;
    EXPECT_TRUE(sfxpack::ReadPeImage(file, &image, &error) && sfxpack::FindResourceSection(file, image, &raw, &rva, &error) &&
                sfxpack::ParseResourceTree(raw, rva, &resources, &error))
        << error;
    if (laidOut)
        *laidOut = sfxpack::LayOutResourceTree(resources, rva) ==
                   Bytes(raw.begin(), raw.begin() + std::min(raw.size(), size_t(U32(file, image.directories + 20))));
    return resources;
}

// The images of an icon file as icotool extracts them, by name.
std::map<std::string, Bytes> IconImages(const std::string &ico, const TempDir &tmp, const std::string &name)
{
    std::string dir = tmp / name;
    fs::create_directories(dir);
    EXPECT_EQ(Shell("icotool -x -o '" + dir + "' '" + ico + "'"), 0) << ico;
    std::map<std::string, Bytes> images;
    for (const auto &file : fs::directory_iterator(dir)) {
        std::string stem = file.path().filename().string();
        images[stem.substr(stem.find('_'))] = ReadFile(file.path().string());
    }
    return images;
}

// The launcher's (PE32, and PE32+ when the x86_64 stand-in is built) with an
// icon of bitmaps and a 256-pixel PNG, version information and a manifest:
// independent readers see what was asked, everything else is kept, the
// checksum is osslsigncode's, and the same options give the same bytes.
TEST(ResourceEditor, IconVersionAndManifestAreWhatIndependentReadersSee)
{
    TempDir tmp;
    WriteFile(tmp / "in/setup.txt", "hello");
    std::string icon = tmp / "product.ico", images;
    for (int side : {16, 32, 48, 128, 256}) {
        std::string png = tmp / ("i" + std::to_string(side) + ".png");
        ASSERT_EQ(Shell("convert -size " + std::to_string(side) + "x" + std::to_string(side) +
                        " xc:navy -fill orange -draw 'circle 8,8 8,2' 'PNG32:" + png + "'"),
                  0);
        images += (side == 256 ? " -r '" : " '") + png + "'";
    }
    ASSERT_EQ(Shell("icotool -c -o '" + icon + "'" + images), 0);

    std::vector<std::string> stubs{StubPath()};
#ifdef SFXPACK_TEST_STUB64
    stubs.push_back(SFXPACK_TEST_STUB64);
#endif
    std::string key = tmp / "key.pem", cert = tmp / "cert.pem";
    ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=T' -keyout '" + key + "' -out '" +
                    cert + "' >/dev/null 2>&1"),
              0);
    for (const std::string &stub : stubs) {
        SCOPED_TRACE(stub);
        TempDir out;
        auto Create = [&](const std::string &out, std::vector<std::string> options) {
            std::vector<std::string> args{"create", "-o", out, "--stub", stub, "--title", "Widget Pro"};
            args.insert(args.end(), options.begin(), options.end());
            args.push_back(tmp / "in");
            Result result = RunCli(args, {"TZ=UTC0"});
            EXPECT_EQ(result.exitCode, 0) << result.err;
            return ReadFile(out);
        };
        const std::vector<std::string> options{"--icon", icon, "--file-version", "1.2.3", "--version-string",
                                               "CompanyName=Acme", "--version-string", "LegalCopyright=© 2024 Acme",
                                               "--execution-level", "asInvoker"};
        std::string pkg = out / "pkg.exe";
        Bytes package = Create(pkg, options);
        fs::create_directories(out / "again");
        EXPECT_EQ(Create(out / "again/pkg.exe", options), package);

        // Without any of the options nothing is rebuilt: the stub as it is.
        Bytes original = ReadFile(stub), plain = Create(out / "plain.exe", {});
        sfxpack::ParsedPackage parsed = Parse(plain);
        EXPECT_EQ(parsed.header.payloadOffset, int32_t(original.size()));
        for (size_t i = 0; i < original.size(); i++)
            if (i < parsed.resource.fileOffset || i >= parsed.resource.fileOffset + 404)
                ASSERT_EQ(plain[i], original[i]) << "offset " << i;

        // The tree laid out again is the resource compiler's own, byte for
        // byte; in the package every resource but the icons is kept.
        bool same = false;
        std::vector<sfxpack::Resource> before = Resources(original, &same), after = Resources(package);
        EXPECT_TRUE(same) << "the tree laid out again differs from the stub's";
        for (const sfxpack::Resource &r : before)
            if (r.type.id != sfxpack::RT_ICON_TYPE && r.type.id != sfxpack::RT_GROUP_ICON_TYPE && r.type.id != 1024)
                EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const sfxpack::Resource &a) {
                    return a.type == r.type && a.name == r.name && a.language == r.language && a.data == r.data;
                })) << "type " << r.type.id << " name " << r.name.id;

        std::string listed = Output("wrestool -l '" + pkg + "' | sed 's/ \\[.*//'", tmp);
        EXPECT_EQ(listed, "--type=3 --name=1 --language=1033\n--type=3 --name=2 --language=1033\n"
                          "--type=3 --name=3 --language=1033\n--type=3 --name=4 --language=1033\n"
                          "--type=3 --name=5 --language=1033\n--type=5 --name=101 --language=1033\n"
                          "--type=5 --name=102 --language=1033\n--type=6 --name=1 --language=1033\n"
                          "--type=14 --name=99 --language=1033\n--type=14 --name=103 --language=1033\n"
                          "--type=16 --name=1 --language=1033\n--type=24 --name=1 --language=1033\n"
                          "--type=1024 --name='MYRESOURCE' --language=1033\n");
        std::map<std::string, Bytes> given = IconImages(icon, tmp, "given");
        EXPECT_EQ(given.size(), 5u);
        for (const char *group : {"99", "103"}) {
            std::string extracted = out / (std::string("group") + group + ".ico");
            ASSERT_EQ(Shell("wrestool -x --type=14 --name=" + std::string(group) + " -o '" + extracted + "' '" + pkg +
                            "'"),
                      0);
            EXPECT_EQ(IconImages(extracted, out, group), given) << "group " << group;
        }
        EXPECT_NE(Output("peres -v '" + pkg + "'", tmp).find(" 1.2.3.0\n"), std::string::npos);

        Result list = RunCli({"list", pkg});
        EXPECT_NE(list.out.find("\nicons: 16x16 32x32 48x48 128x128 256x256\nfileVersion: 1.2.3.0\n"
                                "productVersion: 1.2.3.0\nversion: FileDescription=Widget Pro\n"
                                "version: FileVersion=1.2.3.0\nversion: OriginalFilename=pkg.exe\n"
                                "version: ProductName=Widget Pro\nversion: ProductVersion=1.2.3.0\n"
                                "version: CompanyName=Acme\nversion: LegalCopyright=© 2024 Acme\n"
                                "manifest: asInvoker\nentry: "),
                  std::string::npos)
            << list.out;
        EXPECT_EQ(RunCli({"verify", pkg}).exitCode, 0);

        // osslsigncode writes the checksum when it removes a signature again:
        // the same sum, over the package and the padding before the
        // signature, which only adds its length.
        ASSERT_EQ(Shell("osslsigncode sign -certs '" + cert + "' -key '" + key + "' -in '" + pkg + "' -out '" +
                        (out / "signed.exe") + "' >/dev/null && osslsigncode remove-signature -in '" +
                        (out / "signed.exe") + "' -out '" + (out / "unsigned.exe") + "' >/dev/null"),
                  0);
        Bytes unsignedAgain = ReadFile(out / "unsigned.exe");
        ASSERT_GE(unsignedAgain.size(), package.size());
        EXPECT_EQ(Checksum(unsignedAgain) - Checksum(package), unsignedAgain.size() - package.size());
        EXPECT_NE(Checksum(package), Checksum(original));
    }
}
