#include "sfxpack/read/entry_name.h"

#include "package/names.h"
#include "sfxpack/common/codepage.h"

namespace sfxpack {

namespace {

// Why the shared name rules refuse a name, for the message.
const char *NameFaultReason(NameFault fault)
{
    switch (fault) {
    case NAME_LEADING_SEPARATOR:
        return "it starts with a separator";
    case NAME_CONTROL_CHARACTER:
        return "it holds a control character";
    case NAME_COLON:
        return "it holds ':', a drive or an alternate data stream";
    case NAME_CLIMBS_UP:
        return "it has a '..' component";
    case NAME_DEVICE:
        return "it names a device";
    case NAME_SLASH:
        return "it holds '/', which Windows takes for a separator";
    case NAME_DROPPED_ENDING:
        return "it has a component ending in a dot or a blank, which Windows drops";
    default:
        return "it has an empty component";
    }
}

// Byte offsets where the characters of `text` start, walked as CharNextA
// walks: a lead byte and the byte after it form one character.
std::vector<size_t> CharacterStarts(const std::string &text, const unsigned char *leadByteRanges)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size();
         i += IsLeadByte(leadByteRanges, static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1)
        starts.push_back(i);
    return starts;
}

// The components of `relative`, split at '\' by characters.
std::vector<std::string> Components(const std::string &relative, const unsigned char *leadByteRanges)
{
    std::vector<size_t> starts = CharacterStarts(relative, leadByteRanges);
    starts.push_back(relative.size());
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at : starts) {
        if (at != relative.size() && relative[at] != '\\')
            continue;
        parts.push_back(relative.substr(start, at - start));
        start = at + 1;
    }
    return parts;
}

}  // namespace

bool CheckStoredName(const std::string &name, const std::string &sourcePrefix, const unsigned char *leadByteRanges,
                     std::string *relative, std::string *why)
{
    // The last backslash, searched backwards as the launcher does: the first
    // character is looked at only when it is the whole name.
    std::vector<size_t> starts = CharacterStarts(name, leadByteRanges);
    size_t split = std::string::npos;
    for (size_t k = starts.size(); k-- > 0 && (k > 0 || starts.size() == 1);) {
        if (name[starts[k]] == '\\') {
            split = starts[k];
            break;
        }
    }
    size_t dirLength = split == std::string::npos ? 0 : split + 1;
    if (dirLength < sourcePrefix.size()) {
        *why = "its folder part is " + std::to_string(dirLength) + " bytes, shorter than the source prefix of " +
               std::to_string(sourcePrefix.size());
        return false;
    }
    *relative = name.substr(sourcePrefix.size());
    if (!FitsWorkingFolder(relative->size(), why))
        return false;
    // Empty components pass, as in the launcher: they lead nowhere.
    NameFault fault = FindNameFault(relative->c_str(), leadByteRanges, 0);
    if (fault != NAME_ACCEPTED) {
        *why = NameFaultReason(fault);
        return false;
    }
    // Windows fails to create such a name, so the launcher stops there; no
    // trail byte of a double-byte character lies in this range.
    size_t wildcard = relative->find_first_of("*?\"<>|");
    if (wildcard != std::string::npos) {
        *why = std::string("it holds '") + (*relative)[wildcard] + "', which Windows does not allow in file names";
        return false;
    }
    // A name that ends in a separator names a folder, which no file can
    // replace.
    if (Components(*relative, leadByteRanges).back().empty()) {
        *why = "it has no file name";
        return false;
    }
    return true;
}

bool FitsWorkingFolder(size_t relativeLength, std::string *why)
{
    if (relativeLength <= LAUNCHER_PATH_BYTES - SHORTEST_WORKING_FOLDER)
        return true;
    *why = "its path below the working folder is " + std::to_string(relativeLength) +
           " bytes; even below the shortest working folder, C:\\~EXB0000\\, that is more than the launcher's " +
           std::to_string(LAUNCHER_PATH_BYTES);
    return false;
}

int LongestTempFor(size_t relativeLength)
{
    return LAUNCHER_PATH_BYTES - WORKING_FOLDER_BELOW_TEMP - int(relativeLength);
}

bool DestinationComponents(const std::string &name, const std::string &sourcePrefix, int codePage,
                           const unsigned char *leadByteRanges, std::vector<std::string> *components,
                           std::string *why)
{
    std::string relative;
    if (!CheckStoredName(name, sourcePrefix, leadByteRanges, &relative, why))
        return false;
    components->clear();
    for (const std::string &part : Components(relative, leadByteRanges)) {
        if (part.empty())
            continue;
        std::string utf8;
        if (!CodePageToUtf8(part, codePage, &utf8, why))
            return false;
        // The rules above read the stored bytes; these are the names this
        // machine opens, so they are checked as well.
        if (utf8.empty() || utf8 == "." || utf8 == ".." || utf8.find_first_of(std::string("/\0", 2)) != std::string::npos) {
            *why = "a component converts to '" + utf8 + "', which would not stay one name below the folder";
            return false;
        }
        components->push_back(utf8);
    }
    return true;
}

bool EntryNames::Add(const std::vector<std::string> &components, const std::string &place, NameClash *clash,
                     std::string *text, std::string *error)
{
    if (!clashes_.Add(components, places_.size(), clash, error))
        return false;
    places_.push_back(place);
    if (clash->kind == NameClash::FILE_AND_FOLDER)
        *text = "Windows cannot hold a file and a folder of one name side by side (" + places_[clash->earlier] + ")";
    else if (clash->kind == NameClash::SHORT_NAME)
        *text = "Windows may take it, by a short (8.3) name, for " + places_[clash->earlier] +
                ", and write one over the other";
    else if (clash->kind != NameClash::NONE)
        *text = "Windows takes it for " + places_[clash->earlier] + ", and writes one over the other";
    return true;
}

}  // namespace sfxpack
