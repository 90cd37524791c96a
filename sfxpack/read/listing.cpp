// The text of `sfxpack list`: simple "field: value" lines, stable for scripts,
// printed as the package is read.
#include "sfxpack/common/codepage.h"
#include "sfxpack/common/dostime.h"
#include "sfxpack/pe/manifest.h"
#include "sfxpack/pe/resource_edit.h"
#include "sfxpack/pe/resource_summary.h"
#include "sfxpack/read/decoded_source.h"
#include "sfxpack/read/integrity.h"
#include "sfxpack/texts/language.h"

#include <cctype>

namespace sfxpack {

namespace {

void Line(std::FILE *out, const std::string &field, const std::string &value)
{
    std::fputs((field + ": " + value + "\n").c_str(), out);
}

// The package's icon sizes, version information and requested execution level.
bool ListResources(Source &file, std::FILE *out, std::string *error)
{
    Bytes image;
    ResourceSummary summary;
    std::string why;
    if (!ReadImagePart(file, &image, &why) || !SummarizeResources(image, &summary, &why)) {
        *error = "resources: " + why;
        return false;
    }
    std::string sizes;
    for (const IconImage &icon : summary.icons)
        sizes += (sizes.empty() ? "" : " ") + std::to_string(icon.width ? icon.width : 256) + "x" +
                 std::to_string(icon.height ? icon.height : 256);
    Line(out, "icons", sizes.empty() ? "none" : sizes);
    if (!summary.hasVersion) {
        Line(out, "version", "none");
    } else {
        Line(out, "fileVersion", VersionText(summary.version.fileVersion));
        Line(out, "productVersion", VersionText(summary.version.productVersion));
        for (const auto &[key, value] : summary.version.strings)
            Line(out, "version", EscapeForLine(key + "=" + value));
    }
    std::string level = summary.hasManifest ? RequestedLevel(summary.manifest) : "none";
    Line(out, "manifest", summary.hasManifest && level == "none" ? "no requestedExecutionLevel" : EscapeForLine(level));
    Line(out, "caption", EscapeForLine(summary.caption));
    // US English first: the language of the originals, and the fallback.
    std::string languages;
    for (int english = 1; english >= 0; english--)
        for (uint16_t language : summary.languages)
            if ((language == RESOURCE_LANGUAGE) == bool(english))
                languages += (languages.empty() ? "" : " ") + LanguageTag(language);
    Line(out, "languages", languages.empty() ? "none" : languages);
    return true;
}

}  // namespace

std::string EscapeForLine(const std::string &utf8)
{
    auto Hex = [&](size_t at) { return at < utf8.size() && std::isxdigit(static_cast<unsigned char>(utf8[at])); };
    std::string out;
    char code[8];
    for (size_t i = 0; i < utf8.size(); i++) {
        unsigned char c = utf8[i];
        unsigned next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        unsigned third = i + 2 < utf8.size() ? static_cast<unsigned char>(utf8[i + 2]) : 0;
        // Bytes of one character escaped: the C1 controls, and the line and
        // paragraph separators.
        size_t length = c == 0xC2 && next >= 0x80 && next <= 0x9F                          ? 2
                        : c == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9) ? 3
                        : c < 0x20 || c == 0x7F || (c == '\\' && next == 'x' && Hex(i + 2) && Hex(i + 3)) ? 1
                                                                                                       : 0;
        if (!length) {
            out += char(c);
            continue;
        }
        for (size_t k = 0; k < length; k++) {
            std::snprintf(code, sizeof code, "\\x%02X", unsigned(static_cast<unsigned char>(utf8[i + k])));
            out += code;
        }
        i += length - 1;
    }
    return out;
}

std::string DisplayName(const std::string &ansi, int codePage)
{
    std::string utf8, why;
    if (CodePageToUtf8(ansi, codePage, &utf8, &why))
        return EscapeForLine(utf8);
    // Runs of ASCII escaped as usual, every other byte as \xNN.
    std::string shown, run;
    char code[8];
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            run += char(c);
            continue;
        }
        std::snprintf(code, sizeof code, "\\x%02X", c);
        shown += EscapeForLine(run) + code;
        run.clear();
    }
    return shown + EscapeForLine(run);
}

bool ListPackage(Source &file, int codePage, bool showPassword, std::FILE *out, std::string *error)
{
    ParsedPackage parsed;
    std::string fault;
    bool ok = ReadPackageHeader(file, &parsed, &fault);
    if (parsed.headerRead) {
        const PackageHeader &header = parsed.header;
        Line(out, "headerSize", std::to_string(header.headerSize));
        Line(out, "formatVersion", std::to_string(header.formatVersion));
        Line(out, "payloadOffset", std::to_string(header.payloadOffset));
        Line(out, "entryCount", std::to_string(header.entryCount));
        Line(out, "packageLength", std::to_string(header.packageLength));
        Line(out, "totalBlocks", std::to_string(header.totalBlocks));
        Line(out, "reserved", std::to_string(header.reserved));
        Line(out, "integrity", MarksIntegrityRecord(header.reserved) ? "yes" : "no");
        Line(out, "exitCodes", MarksExitCodes(header.reserved) ? "yes" : "no");
        Line(out, "resourceSize", std::to_string(parsed.resource.size));
        Line(out, "fileLength", std::to_string(parsed.fileLength));
        const struct {
            const char *field;
            const std::string &text;
            bool shown;
        } texts[] = {{"password", parsed.password, showPassword},
                     {"setupCommand", parsed.setupCommand, true},
                     {"productTitle", parsed.productTitle, true},
                     {"sourcePrefix", parsed.sourcePrefix, true}};
        for (const auto &text : texts) {
            std::string utf8, why;
            if (!CodePageToUtf8(text.text, codePage, &utf8, &why)) {
                *error = std::string("header: ") + text.field + ": " + why;
                return false;
            }
            if (text.field == std::string("password"))
                Line(out, "passwordSet", text.text.empty() ? "no" : "yes");
            if (text.shown)
                Line(out, text.field, EscapeForLine(utf8));
        }
        if (!ListResources(file, out, error))
            return false;
    }
    // A compressed package's entries are listed from its directory, with
    // nothing decoded.
    DecodedSource compressed(file);
    if (ok && IsCompressed(parsed)) {
        ok = compressed.Open(parsed, &fault);
        if (ok) {
            uint64_t unpacked = uint64_t(compressed.Head().unpackedLength);
            char ratio[32];
            std::snprintf(ratio, sizeof ratio, "%.2f%%", 100.0 * double(compressed.PackedBytes()) / double(unpacked));
            Line(out, "compression", "lzma");
            Line(out, "chunks", std::to_string(compressed.Chunks().size()));
            Line(out, "unpackedLength", std::to_string(unpacked));
            Line(out, "ratio", ratio);
        }
    }
    auto listEntry = [&](const ParsedEntry &entry, int32_t index, std::string *failure) {
                std::string name, why;
                if (!CodePageToUtf8(entry.name, codePage, &name, &why)) {
                    *failure = "entry " + std::to_string(index + 1) + ": name at offset " +
                               std::to_string(entry.offset + 4) + ": " + why;
                    return false;
                }
                Line(out, "entry", std::to_string(entry.size) + " " + FormatDosDateTime(entry.dosDateTime) + " " +
                                       EscapeForLine(name));
                return true;
    };
    if (ok)
        ok = IsCompressed(parsed) ? WalkDirectory(compressed.Directory(), parsed, listEntry, &fault)
                                  : WalkEntries(file, parsed, listEntry, &fault);
    if (!ok)
        *error = fault;
    return ok;
}

}  // namespace sfxpack
