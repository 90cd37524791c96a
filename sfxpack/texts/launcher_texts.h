// Every text the launcher shows, as its resources hold it in US English:
// what a translation replaces and the template (.pot) lists.
#ifndef SFXPACK_TEXTS_LAUNCHER_TEXTS_H
#define SFXPACK_TEXTS_LAUNCHER_TEXTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace sfxpack {

// Where a text lives: a string of the string table, or a text of the
// progress and password windows.
enum class TextPlace { String, DialogCaption, ProgressText, PasswordPrompt, OkButton };

struct LauncherText {
    TextPlace place;
    uint16_t stringId;  // for TextPlace::String
    const char *english;
    const char *comment;  // where it appears and what its fields are
    // The launcher formats it with wsprintfW: a translation keeps its fields.
    bool IsFormat() const { return place == TextPlace::String && stringId != 1; }
};

// In the order of the template: the string table by id, then the windows.
const std::vector<LauncherText> &LauncherTexts();

// The launcher's text buffer, 127 characters and the terminator: the most a
// text (a format as it is, before formatting) may hold, in UTF-16 units.
enum { MAX_TEXT_UNITS = 127 };

// The fields of a format as wsprintf reads them ("%s", "%d", ...), in order;
// "%%" is a percent sign and no field.
std::vector<std::string> FormatFields(const std::string &text);

// The template (.pot) of the launcher's texts for translators.
std::string TranslationTemplate();

}  // namespace sfxpack

#endif
