// The version resource, written and read back. Every block has the same
// shape: wLength, wValueLength, wType, the key in UTF-16 with its NUL, zero
// padding to 32 bits, the value, and each child after padding to 32 bits.
// A block's wLength ends with its last child, unpadded, as the resource
// compiler writes it.
#include "sfxpack/pe/version_info.h"

#include <algorithm>

#include "sfxpack/common/codepage.h"
#include "sfxpack/common/little_endian.h"

namespace sfxpack {

namespace {

const uint32_t FIXED_SIGNATURE = 0xFEEF04BD;
const size_t FIXED_SIZE = 52;  // VS_FIXEDFILEINFO: thirteen DWORDs
const uint16_t BINARY = 0, TEXT = 1;


void PadTo32Bits(Bytes *out)
{
    while (out->size() % 4)
        out->push_back(0);
}

// Appends `text` with its NUL.
void PutText(Bytes *out, const std::u16string &text)
{
    for (char16_t unit : text)
        Append16(out, unit);
    Append16(out, 0);
}

// wLength is truncated to 16 bits here; BuildVersionResource refuses the
// whole resource when it does not fit, and every block lies within it.
Bytes Block(const std::u16string &key, uint16_t type, uint16_t valueLength, const Bytes &value,
            const std::vector<Bytes> &children)
{
    Bytes out(6, 0);
    PutText(&out, key);
    PadTo32Bits(&out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes &child : children) {
        PadTo32Bits(&out);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = out.size() & 0xFF;
    out[1] = out.size() >> 8 & 0xFF;
    out[2] = valueLength & 0xFF;
    out[3] = valueLength >> 8;
    out[4] = type;
    return out;
}

bool KeyProblem(const std::string &key, std::string *problem)
{
    if (key.empty())
        *problem = "the key is empty";
    else if (key.find('=') != std::string::npos)
        *problem = "the key holds '='";
    // VerQueryValue takes it for a separator of the path to the value.
    else if (key.find('\\') != std::string::npos)
        *problem = "the key holds '\\', which VerQueryValue reads as a separator";
    for (unsigned char c : key)
        if (c < 0x20 || c == 0x7F)
            *problem = "the key holds a control character";
    return !problem->empty();
}

Bytes StringBlock(const std::u16string &key, const std::u16string &value)
{
    Bytes text;
    PutText(&text, value);
    return Block(key, TEXT, uint16_t(value.size() + 1), text, {});
}

Bytes FixedInfo(const VersionInfo &info)
{
    Bytes out;
    Append32(&out, FIXED_SIGNATURE);
    Append32(&out, 0x00010000);  // structure version 1.0
    for (const uint16_t *v : {info.fileVersion, info.productVersion}) {
        Append32(&out, uint32_t(v[0]) << 16 | v[1]);
        Append32(&out, uint32_t(v[2]) << 16 | v[3]);
    }
    Append32(&out, 0x3F);     // every flag below is meaningful, none set
    Append32(&out, 0);        // file flags
    Append32(&out, 0x40004);  // VOS_NT_WINDOWS32
    Append32(&out, 1);        // VFT_APP
    Append32(&out, 0);        // subtype
    Append32(&out, 0);        // no file date
    Append32(&out, 0);
    return out;
}


size_t Align(size_t at)
{
    return (at + 3) & ~size_t(3);
}

struct ReadBlock {
    size_t end = 0;
    uint16_t valueLength = 0;
    std::u16string key;
    size_t value = 0;     // offset of the value
    size_t children = 0;  // offset of the first child
};

// The block at `at`, which must lie before `limit`.
bool Read(const Bytes &data, size_t at, size_t limit, ReadBlock *block)
{
    if (at + 6 > limit)
        return false;
    size_t length = Load16(data, at);
    if (length < 6 || at + length > limit)
        return false;
    block->end = at + length;
    block->valueLength = Load16(data, at + 2);
    block->key.clear();
    size_t key = at + 6;
    for (; key + 2 <= block->end && Load16(data, key); key += 2)
        block->key.push_back(Load16(data, key));
    if (key + 2 > block->end)
        return false;
    block->value = Align(key + 2);
    size_t valueBytes = Load16(data, at + 4) == TEXT ? 2 * size_t(block->valueLength) : block->valueLength;
    block->children = Align(block->value + valueBytes);
    return block->value <= block->end;
}

// The NUL-terminated text at the block's value, up to the block's end
// whatever wValueLength says (some writers count bytes, not words).
std::u16string TextValue(const Bytes &data, const ReadBlock &block)
{
    std::u16string text;
    for (size_t at = block.value; at + 2 <= block.end && Load16(data, at); at += 2)
        text.push_back(Load16(data, at));
    return text;
}

bool ReadStrings(const Bytes &data, const ReadBlock &fileInfo, VersionInfo *info)
{
    ReadBlock table;
    if (fileInfo.children >= fileInfo.end)
        return true;
    if (!Read(data, fileInfo.children, fileInfo.end, &table))
        return false;
    for (size_t at = table.children; at < table.end;) {
        ReadBlock string;
        if (!Read(data, at, table.end, &string))
            return false;
        info->strings.emplace_back(Utf16ToUtf8(string.key), Utf16ToUtf8(TextValue(data, string)));
        at = Align(string.end);
    }
    return true;
}

}  // namespace

bool ParseVersionNumber(const std::string &text, uint16_t version[4], std::string *error)
{
    uint16_t parts[4] = {};
    size_t count = 0, at = 0;
    for (;;) {
        size_t start = at;
        uint32_t number = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && number <= 65535)
            number = number * 10 + (text[at++] - '0');
        if (number > 65535) {
            *error = "'" + text + "': a number is above 65535";
            return false;
        }
        if (at == start || count == 4 || (at < text.size() && text[at] != '.')) {
            *error = "'" + text + "' is not a version: 1 to 4 numbers from 0 to 65535, separated by dots";
            return false;
        }
        parts[count++] = uint16_t(number);
        if (at == text.size())
            break;
        at++;
    }
    std::copy(parts, parts + 4, version);
    return true;
}

std::string VersionText(const uint16_t version[4])
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
           std::to_string(version[3]);
}

// ASCII letters alike in either case; any other character, in UTF-8 or in
// UTF-16, is equal only to itself.
bool SameVersionKey(const std::string &a, const std::string &b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool BuildVersionResource(const VersionInfo &info, Bytes *data, std::string *error)
{
    std::vector<Bytes> strings;
    for (auto pair = info.strings.begin(); pair != info.strings.end(); ++pair) {
        const std::string &key = pair->first, &value = pair->second;
        // The pair as it was given: a fault's offset counts in it.
        std::string given = key + "=" + value, problem;
        std::u16string wideKey, wideValue;
        if (Utf8ToUtf16(given, &wideValue, &problem) && !KeyProblem(key, &problem) && Utf8ToUtf16(key, &wideKey, &problem) &&
            Utf8ToUtf16(value, &wideValue, &problem)) {
            if (wideValue.find(u'\0') != std::u16string::npos)
                problem = "the value holds a NUL character";
            else if (std::any_of(info.strings.begin(), pair, [&](const auto &k) { return SameVersionKey(k.first, key); }))
                problem = key + " is given twice (keys ignore case)";
        }
        if (!problem.empty()) {
            *error = "version string '" + EscapeForMessage(given) + "': " + problem;
            return false;
        }
        strings.push_back(StringBlock(wideKey, wideValue));
    }
    Bytes translation;
    Append16(&translation, 0x0409);  // U.S. English
    Append16(&translation, 1200);    // UTF-16
    Bytes stringFileInfo = Block(u"StringFileInfo", TEXT, 0, {}, {Block(u"040904B0", TEXT, 0, {}, strings)});
    Bytes varFileInfo = Block(u"VarFileInfo", TEXT, 0, {}, {Block(u"Translation", BINARY, 4, translation, {})});
    Bytes out = Block(u"VS_VERSION_INFO", BINARY, FIXED_SIZE, FixedInfo(info), {stringFileInfo, varFileInfo});
    if (out.size() > 0xFFFF) {
        *error = "the version strings take " + std::to_string(out.size()) +
                 " bytes with their keys, more than the 65535 bytes a version resource holds";
        return false;
    }
    *data = out;
    return true;
}

bool ReadVersionResource(const Bytes &data, VersionInfo *info, std::string *error)
{
    *info = VersionInfo();
    ReadBlock root;
    if (!Read(data, 0, data.size(), &root) || root.key != u"VS_VERSION_INFO" || root.valueLength < FIXED_SIZE ||
        root.value + FIXED_SIZE > root.end || Load32(data, root.value) != FIXED_SIGNATURE) {
        *error = "the version resource is damaged: no VS_VERSION_INFO block with fixed file information";
        return false;
    }
    for (int i = 0; i < 4; i++) {
        size_t dword = root.value + 8 + 4 * (i / 2);
        info->fileVersion[i] = uint16_t(Load32(data, dword) >> (i % 2 ? 0 : 16));
        info->productVersion[i] = uint16_t(Load32(data, dword + 8) >> (i % 2 ? 0 : 16));
    }
    for (size_t at = root.children; at < root.end;) {
        ReadBlock child;
        if (!Read(data, at, root.end, &child) || (child.key == u"StringFileInfo" && !ReadStrings(data, child, info))) {
            *error = "the version resource is damaged: a block runs past its parent";
            return false;
        }
        if (child.key == u"StringFileInfo")
            return true;
        at = Align(child.end);
    }
    return true;
}

}  // namespace sfxpack
