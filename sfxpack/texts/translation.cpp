#include "sfxpack/texts/translation.h"

#include <algorithm>
#include <cctype>

#include "sfxpack/common/codepage.h"
#include "sfxpack/texts/language.h"
#include "sfxpack/texts/launcher_texts.h"
#include "sfxpack/texts/po_file.h"

namespace sfxpack {

namespace {

std::string Where(const std::string &path, size_t line)
{
    return line ? path + ":" + std::to_string(line) : path;
}

// A text quoted on one line of an error.
std::string Shown(const std::string &text)
{
    std::string out = "\"";
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
}

bool HasControl(const std::string &text, bool lineFeedAllowed)
{
    return std::any_of(text.begin(), text.end(), [&](char c) {
        return static_cast<unsigned char>(c) < 0x20 && !(lineFeedAllowed && c == '\n');
    });
}

// The checks of one translated text; `why` says what is wrong.
bool CheckText(const LauncherText &original, const std::string &text, const Language &language,
               std::u16string *wide, std::string *why)
{
    if (!Utf8ToUtf16(text, wide, why))
        return false;
    if (wide->size() > MAX_TEXT_UNITS) {
        *why = "longer than the launcher's 127 characters (" + std::to_string(wide->size()) + ")";
        return false;
    }
    if (HasControl(text, original.IsFormat())) {
        *why = original.IsFormat() ? "a control character other than a line feed" : "a control character";
        return false;
    }
    if (original.IsFormat() && FormatFields(text) != FormatFields(original.english)) {
        std::string fields;
        for (const std::string &field : FormatFields(original.english))
            fields += (fields.empty() ? "" : " ") + field;
        *why = "the fields differ from the original's (" + (fields.empty() ? std::string("none") : fields) +
               ", in this order)";
        return false;
    }
    // A silent run writes the messages to its log in the system's ANSI code
    // page; the captions and the windows' texts are only ever shown.
    std::string ansi;
    if (original.IsFormat() && !Utf8ToCodePage(text, language.codePage, &ansi, why)) {
        *why += ", the ANSI code page of " + std::string(language.tag) + ", in which the silent log holds it";
        return false;
    }
    return true;
}

}  // namespace

bool ReadTranslation(const std::string &path, Translation *translation, std::string *error)
{
    PoFile file;
    if (!ReadPoFile(path, &file, error))
        return false;
    translation->path = path;
    std::string header = Where(path, file.headerLine);
    if (file.language.empty()) {
        *error = header + ": the header has no Language field";
        return false;
    }
    std::string why;
    if (!FindLanguage(file.language, &translation->language, &why)) {
        *error = header + ": " + why;
        return false;
    }
    std::string charset = file.charset;
    std::transform(charset.begin(), charset.end(), charset.begin(), [](unsigned char c) { return std::toupper(c); });
    if (charset != "UTF-8") {
        *error = header + ": the charset is '" + file.charset + "'; translations are read in UTF-8";
        return false;
    }
    const std::vector<LauncherText> &originals = LauncherTexts();
    translation->texts.clear();
    for (const LauncherText &original : originals) {
        std::u16string english;
        Utf8ToUtf16(original.english, &english, &why);
        translation->texts.push_back(english);
    }
    for (const PoEntry &entry : file.entries) {
        auto found = std::find_if(originals.begin(), originals.end(),
                                  [&](const LauncherText &text) { return !entry.other && entry.msgid == text.english; });
        if (found == originals.end()) {
            *error = Where(path, entry.line) + ": " + Shown(entry.msgid) +
                     " is not a text of the launcher ('sfxpack texts' lists them)";
            return false;
        }
        if (entry.msgstr.empty() || entry.fuzzy)
            continue;
        if (!CheckText(*found, entry.msgstr, translation->language, &translation->texts[found - originals.begin()],
                       &why)) {
            *error = Where(path, entry.line) + ": " + Shown(entry.msgstr) + ": " + why;
            return false;
        }
    }
    return true;
}

}  // namespace sfxpack
