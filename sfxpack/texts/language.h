// The languages the launcher's texts can be stored in, by their .po
// Language header.
#ifndef SFXPACK_TEXTS_LANGUAGE_H
#define SFXPACK_TEXTS_LANGUAGE_H

#include <cstdint>
#include <string>

namespace sfxpack {

struct Language {
    const char *tag;       // as in a .po Language header: "de", "pt_BR"
    uint16_t id;           // the Windows language id its resources are stored under
    int codePage;          // the ANSI code page of a system in that language
};

// The language of a Language header ("de", "de_AT", "pt-BR", "sr@latin",
// ...); false with the reason for an unknown or right-to-left language.
bool FindLanguage(const std::string &header, Language *language, std::string *error);
// The tag of a Windows language id for `sfxpack list`; "0xNNNN" when unknown.
std::string LanguageTag(uint16_t id);

}  // namespace sfxpack

#endif
