// A translation of the launcher's texts, read from a .po file and checked
// against what the launcher can show.
#ifndef SFXPACK_TEXTS_TRANSLATION_H
#define SFXPACK_TEXTS_TRANSLATION_H

#include <cstdint>
#include <string>
#include <vector>

#include "sfxpack/texts/language.h"

namespace sfxpack {

struct Translation {
    std::string path;
    Language language{};
    // As LauncherTexts(): the translated text, or the English one.
    std::vector<std::u16string> texts;
};

// Reads and checks `path`: every translated text keeps the fields of its
// original and fits 127 UTF-16 units, a message the ANSI code page of the
// language too;
// untranslated and fuzzy entries keep the English text. A fault is one line
// naming the file and the line.
bool ReadTranslation(const std::string &path, Translation *translation, std::string *error);

}  // namespace sfxpack

#endif
