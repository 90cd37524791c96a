// The text of `sfxpack list`: simple "field: value" lines, stable for scripts.
#include "sfxpack/writer.h"

namespace sfxpack {

namespace {

void Line(std::string *listing, const std::string &field, const std::string &value)
{
    *listing += field + ": " + value + "\n";
}

}  // namespace

bool ListPackage(const Bytes &file, int codePage, bool showPassword, std::string *listing, std::string *error)
{
    listing->clear();
    ParsedPackage parsed;
    std::string fault;
    bool ok = ParsePackage(file, &parsed, &fault);
    if (parsed.headerRead) {
        const PackageHeader &header = parsed.header;
        Line(listing, "headerSize", std::to_string(header.headerSize));
        Line(listing, "formatVersion", std::to_string(header.formatVersion));
        Line(listing, "payloadOffset", std::to_string(header.payloadOffset));
        Line(listing, "entryCount", std::to_string(header.entryCount));
        Line(listing, "packageLength", std::to_string(header.packageLength));
        Line(listing, "totalBlocks", std::to_string(header.totalBlocks));
        Line(listing, "reserved", std::to_string(header.reserved));
        Line(listing, "resourceSize", std::to_string(parsed.resource.size));
        Line(listing, "fileLength", std::to_string(parsed.fileLength));
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
                Line(listing, "passwordSet", text.text.empty() ? "no" : "yes");
            if (text.shown)
                Line(listing, text.field, utf8);
        }
    }
    for (size_t i = 0; i < parsed.entries.size(); i++) {
        const ParsedEntry &entry = parsed.entries[i];
        std::string name, why;
        if (!CodePageToUtf8(entry.name, codePage, &name, &why)) {
            *error = "entry " + std::to_string(i + 1) + ": name at offset " + std::to_string(entry.offset + 4) + ": " +
                     why;
            return false;
        }
        Line(listing, "entry", std::to_string(entry.size) + " " + FormatDosDateTime(entry.dosDateTime) + " " + name);
    }
    if (!ok)
        *error = fault;
    return ok;
}

}  // namespace sfxpack
