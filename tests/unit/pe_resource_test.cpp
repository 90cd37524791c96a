// The walk to the header placeholder, on real stubs built by the toolchain.
#include "tests/unit/support.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "sfxpack/common/codepage.h"
#include "sfxpack/pe/dialog_template.h"
#include "sfxpack/pe/pe_image.h"
#include "sfxpack/pe/resource_tree.h"

#include "sfxpack/pe/manifest.h"
#include "sfxpack/pe/string_table.h"
#include "sfxpack/pe/version_info.h"
#include "sfxpack/texts/launcher_texts.h"
#include "sfxpack/texts/translation.h"

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

TEST(VersionResource, VersionNumbersAreOneToFourNumbersUpTo65535)
{
    const std::pair<const char *, std::vector<uint16_t>> good[] = {
        {"7", {7, 0, 0, 0}}, {"1.2.3", {1, 2, 3, 0}}, {"65535.0.00.65535", {65535, 0, 0, 65535}}};
    for (const auto &[text, expected] : good) {
        uint16_t version[4] = {9, 9, 9, 9};
        std::string error;
        EXPECT_TRUE(sfxpack::ParseVersionNumber(text, version, &error)) << text << ": " << error;
        EXPECT_EQ(std::vector<uint16_t>(version, version + 4), expected) << text;
    }
    const std::string shape = "' is not a version: 1 to 4 numbers from 0 to 65535, separated by dots";
    const std::pair<const char *, std::string> bad[] = {
        {"65536", "'65536': a number is above 65535"}, {"1.99999999999", "'1.99999999999': a number is above 65535"},
        {"1.2.3.4.5", "'1.2.3.4.5" + shape}, {"", "'" + shape}, {"1..2", "'1..2" + shape}, {"1.", "'1." + shape},
        {"-1", "'-1" + shape}};
    for (const auto &[text, message] : bad) {
        uint16_t version[4] = {9, 9, 9, 9};
        std::string error;
        EXPECT_FALSE(sfxpack::ParseVersionNumber(text, version, &error)) << text;
        EXPECT_EQ(error, message);
        EXPECT_EQ(version[0], 9) << text;
    }
}

void Add16(Bytes *bytes, std::initializer_list<uint16_t> words)
{
    for (uint16_t word : words)
        bytes->push_back(word & 0xFF), bytes->push_back(word >> 8);
}

// A block's header and key as laid out by hand: wLength, wValueLength, wType,
// the key in UTF-16 with its NUL, then `pad` zero bytes.
void AddHeader(Bytes *bytes, uint16_t length, uint16_t valueLength, uint16_t type, const char *key, int pad)
{
    Add16(bytes, {length, valueLength, type});
    for (const char *c = key; *c; c++)
        Add16(bytes, {uint8_t(*c)});
    Add16(bytes, {0});
    bytes->insert(bytes->end(), pad, 0);
}

TEST(VersionResource, LaysOutEveryLengthAndPaddingAndReadsBack)
{
    sfxpack::VersionInfo info;
    info.fileVersion[0] = 1, info.fileVersion[1] = 2, info.fileVersion[2] = 3, info.fileVersion[3] = 4;
    info.productVersion[0] = 5, info.productVersion[1] = 6;
    info.strings = {{"A", "xy"}, {"Key", "\xF0\x9F\x98\x80"}};  // U+1F600, a surrogate pair
    Bytes expected;
    AddHeader(&expected, 264, 52, 0, "VS_VERSION_INFO", 2);  // 6 + 32 bytes, to 40
    const uint32_t fixed[13] = {0xFEEF04BD, 0x00010000, 0x00010002, 0x00030004, 0x00050006, 0, 0x3F, 0, 0x40004, 1};
    for (uint32_t dword : fixed)
        Add16(&expected, {uint16_t(dword), uint16_t(dword >> 16)});
    AddHeader(&expected, 102, 0, 1, "StringFileInfo", 0);  // at 92, to 194
    AddHeader(&expected, 66, 0, 1, "040904B0", 0);         // at 128, to 194
    AddHeader(&expected, 18, 3, 1, "A", 2);                // at 152: 10 bytes, to 12
    Add16(&expected, {'x', 'y', 0, 0});                    // and 2 to align the next
    AddHeader(&expected, 22, 3, 1, "Key", 2);  // at 172: 14 bytes, to 16
    Add16(&expected, {0xD83D, 0xDE00, 0, 0});
    AddHeader(&expected, 68, 0, 1, "VarFileInfo", 2);  // at 196
    AddHeader(&expected, 36, 4, 0, "Translation", 2);
    Add16(&expected, {0x0409, 1200});
    ASSERT_EQ(expected.size(), 264u);

    Bytes data;
    std::string error;
    ASSERT_TRUE(sfxpack::BuildVersionResource(info, &data, &error)) << error;
    EXPECT_EQ(data, expected);

    info.strings.push_back({"CompanyName", "\xC3\x9Cn\xC3\xAF Ltd"});
    info.strings.push_back({"Comments", ""});
    sfxpack::VersionInfo back;
    ASSERT_TRUE(sfxpack::BuildVersionResource(info, &data, &error)) << error;
    ASSERT_TRUE(sfxpack::ReadVersionResource(data, &back, &error)) << error;
    EXPECT_EQ(std::vector<uint16_t>(back.fileVersion, back.fileVersion + 4), std::vector<uint16_t>({1, 2, 3, 4}));
    EXPECT_EQ(std::vector<uint16_t>(back.productVersion, back.productVersion + 4), std::vector<uint16_t>({5, 6, 0, 0}));
    EXPECT_EQ(back.strings, info.strings);
    // Every cut is refused, never read past.
    for (size_t cut = 0; cut < data.size(); cut += 7)
        EXPECT_FALSE(sfxpack::ReadVersionResource(Bytes(data.begin(), data.begin() + cut), &back, &error)) << cut;
}

TEST(VersionResource, RefusesStringsItCannotStore)
{
    const std::pair<std::pair<std::string, std::string>, std::string> bad[] = {
        {{"", "x"}, "version string '=x': the key is empty"},
        {{"A=B", "x"}, "version string 'A=B=x': the key holds '='"},
        {{"Tab\there", "x"}, "version string 'Tab\\x09here=x': the key holds a control character"},
        // The bad byte escaped, and its offset counted in the pair as given.
        {{"Comments", "ab\xC3"}, "version string 'Comments=ab\\xC3': invalid UTF-8 at byte 11"},
        {{"productName", "again"}, "version string 'productName=again': productName is given twice (keys ignore case)"},
        {{"Comments", std::string(33000, 'x')},
         "the version strings take 66284 bytes with their keys, more than the 65535 bytes a version resource holds"}};
    for (const auto &[string, message] : bad) {
        sfxpack::VersionInfo info;
        info.strings = {{"ProductName", "P"}, string};
        Bytes data;
        std::string error;
        EXPECT_FALSE(sfxpack::BuildVersionResource(info, &data, &error)) << message;
        EXPECT_EQ(error, message);
    }
}

TEST(Manifest, WrittenForEachLevelCheckedAndRead)
{
    for (const char *level : {"asInvoker", "highestAvailable", "requireAdministrator"}) {
        std::string xml, error;
        ASSERT_TRUE(sfxpack::ManifestForLevel(level, &xml, &error)) << error;
        EXPECT_TRUE(sfxpack::CheckManifest(xml, &error)) << level << ": " << error;
        EXPECT_EQ(sfxpack::RequestedLevel(xml), level);
    }
    std::string xml, error;
    EXPECT_FALSE(sfxpack::ManifestForLevel("admin", &xml, &error));
    EXPECT_EQ(error, "'admin' is not an execution level: asInvoker, highestAvailable or requireAdministrator");
    // A commented-out level, as manifest templates carry, is no level.
    EXPECT_EQ(sfxpack::RequestedLevel("<assembly><!-- <requestedExecutionLevel level=\"requireAdministrator\"/> -->"
                                      "<v3:requestedExecutionLevel uiAccess='false' level='highestAvailable'/></assembly>"),
              "highestAvailable");
    EXPECT_EQ(sfxpack::RequestedLevel("<assembly/>"), "none");
}

TEST(Manifest, MalformedXmlIsRefusedWithItsLine)
{
    const std::pair<const char *, const char *> bad[] = {
        {"<assembly>\n<a>\n</b></assembly>", "line 3: end tag </b> does not match <a>"},
        {"<assembly>\n<a x=\"1\" x=\"2\"/></assembly>", "line 2: attribute x of <a> is given twice"},
        {"<assembly a=1/>", "line 1: attribute a of <assembly> has no quoted value"},
        {"<assembly>&nbsp;</assembly>", "line 1: '&' begins no known entity (&lt; &gt; &amp; &quot; &apos; &#N;)"},
        {"<assembly><!-- a -- b --></assembly>", "line 1: '--' inside a comment"},
        {"<assembly/>\n<assembly/>", "line 2: a second root element"},
        {"<assembly>\n<a>", "line 2: element <a> is not closed"},
        {"<assembly>\xC3(</assembly>", "line 1: invalid UTF-8 at byte 10"},
        {" <?xml version=\"1.0\"?><assembly/>", "line 1: the XML declaration is not at the start"},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><assembly/>",
         "line 1: the XML declaration names encoding UTF-16, where the text is UTF-8"},
        {"<!DOCTYPE a><assembly/>", "line 1: declarations such as DOCTYPE are not allowed"},
        {"<?xml version=\"1.0\"?>\n<application/>", "the root element is <application>, where a manifest has <assembly>"},
    };
    for (const auto &[xml, message] : bad) {
        std::string error;
        EXPECT_FALSE(sfxpack::CheckManifest(xml, &error)) << xml;
        EXPECT_EQ(error, message);
    }
    std::string error;
    EXPECT_TRUE(sfxpack::CheckManifest("\xEF\xBB\xBF<?xml version='1.0' standalone='yes'?>\n<!-- c -->\n"
                                       "<asmv1:assembly xmlns:asmv1='urn:schemas-microsoft-com:asm.v1' a=\"&lt;&#x10FFFF;\">"
                                       "<![CDATA[<&]]></asmv1:assembly>\n",
                                       &error))
        << error;
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
                                "manifest: asInvoker\ncaption: Tollivex Self-extracting EXE\n"
                                "languages: en_US\nentry: "),
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

// The writer's table of the launcher's texts is the launcher's own string
// table and dialogs, which read back byte for byte; a translation adds a
// language and leaves the US English resources as they were, and the
// template that `sfxpack texts` prints is a translation libgettextpo reads.
TEST(LauncherTexts, AreTheLaunchersOwnAndATranslationLeavesThemAsTheyWere)
{
    auto English = [](const Bytes &image, std::map<uint16_t, Bytes> *dialogs, std::vector<std::u16string> *strings,
                      std::set<uint16_t> *languages) {
        sfxpack::PeImage pe;
        uint32_t rva;
        std::vector<sfxpack::Resource> resources;
        std::string error;
        ASSERT_TRUE(sfxpack::ReadImageResources(image, &pe, &rva, &resources, &error)) << error;
        for (const sfxpack::Resource &r : resources) {
            if (r.type.id == sfxpack::RT_STRING_TYPE || r.type.id == sfxpack::RT_DIALOG_TYPE)
                languages->insert(r.language);
            if (r.language != 0x0409)
                continue;
            if (r.type.id == sfxpack::RT_DIALOG_TYPE)
                (*dialogs)[r.name.id] = r.data;
            if (r.type.id == sfxpack::RT_STRING_TYPE && r.name.id == 1)
                ASSERT_TRUE(sfxpack::ReadStringBlock(r.data, strings, &error)) << error;
        }
    };
    std::map<uint16_t, Bytes> dialogs;
    std::vector<std::u16string> strings;
    std::set<uint16_t> languages;
    English(Stub(), &dialogs, &strings, &languages);
    ASSERT_EQ(dialogs.size(), 2u);
    ASSERT_EQ(strings.size(), 16u);
    std::map<uint16_t, sfxpack::DialogTemplate> read;
    for (const auto &[id, data] : dialogs) {
        std::string error;
        ASSERT_TRUE(sfxpack::ReadDialogTemplate(data, &read[id], &error)) << error;
        EXPECT_EQ(sfxpack::BuildDialogTemplate(read[id]), data) << id;
    }
    auto Title = [&](uint16_t dialog, uint16_t item) {
        for (const sfxpack::DialogItem &control : read[dialog].items)
            if (control.id == item)
                return std::u16string(control.title.begin(), control.title.end() - 1);
        return std::u16string(u"<none>");
    };
    for (const sfxpack::LauncherText &text : sfxpack::LauncherTexts()) {
        std::u16string english, shown;
        std::string error;
        ASSERT_TRUE(sfxpack::Utf8ToUtf16(text.english, &english, &error));
        switch (text.place) {
        case sfxpack::TextPlace::String: shown = strings[text.stringId]; break;
        case sfxpack::TextPlace::DialogCaption:
            EXPECT_EQ(read[102].caption, english);
            shown = read[101].caption;
            break;
        case sfxpack::TextPlace::ProgressText: shown = Title(101, 200); break;
        case sfxpack::TextPlace::PasswordPrompt: shown = Title(102, 200); break;
        case sfxpack::TextPlace::OkButton: shown = Title(102, 1); break;
        }
        EXPECT_EQ(shown, english) << text.english;
    }

    TempDir tmp;
    WriteFile(tmp / "in/a.txt", "x");
    Result texts = RunCli({"texts"});
    ASSERT_EQ(texts.exitCode, 0);
    std::string po = texts.out;
    po.replace(po.find("\"Language: \\n\""), 14, "\"Language: ko\\n\"");
    WriteFile(tmp / "ko.po", po);
    sfxpack::Translation translation;
    std::string error;
    ASSERT_TRUE(sfxpack::ReadTranslation(tmp / "ko.po", &translation, &error)) << error;
    EXPECT_EQ(translation.language.id, 0x0012);
    ASSERT_EQ(RunCli({"create", "-o", tmp / "pkg.exe", "--stub", StubPath(), "--language", tmp / "ko.po",
                      "--language", "pt_BR", tmp / "in"})
                  .exitCode,
              0);
    std::map<uint16_t, Bytes> after;
    std::vector<std::u16string> stringsAfter;
    std::set<uint16_t> languagesAfter;
    English(ReadFile(tmp / "pkg.exe"), &after, &stringsAfter, &languagesAfter);
    EXPECT_EQ(after, dialogs);
    EXPECT_EQ(stringsAfter, strings);
    EXPECT_EQ(languages, (std::set<uint16_t>{0x0409}));
    EXPECT_EQ(languagesAfter, (std::set<uint16_t>{0x0012, 0x0409, 0x0416}));
}
