#include "sfxpack/texts/language.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace sfxpack {

namespace {

// Stored under the language's neutral sublanguage, which the loader takes
// for every country of the language; where the variants differ (pt_BR and
// pt, zh_CN and zh_TW, nb and nn) under the country's own id. The code page
// is the ANSI one of a system in that language.
const Language LANGUAGES[] = {
    {"af", 0x0036, 1252}, {"bg", 0x0002, 1251}, {"be", 0x0023, 1251}, {"ca", 0x0003, 1252},
    {"cs", 0x0005, 1250}, {"da", 0x0006, 1252}, {"de", 0x0007, 1252}, {"el", 0x0008, 1253},
    {"en", 0x0009, 1252}, {"es", 0x000A, 1252}, {"et", 0x0025, 1257}, {"eu", 0x002D, 1252},
    {"fi", 0x000B, 1252}, {"fr", 0x000C, 1252}, {"ga", 0x003C, 1252}, {"gl", 0x0056, 1252},
    {"hr", 0x001A, 1250}, {"hu", 0x000E, 1250}, {"id", 0x0021, 1252}, {"is", 0x000F, 1252},
    {"it", 0x0010, 1252}, {"ja", 0x0011, 932},  {"kk", 0x003F, 1251}, {"ko", 0x0012, 949},
    {"lt", 0x0027, 1257}, {"lv", 0x0026, 1257}, {"mk", 0x002F, 1251}, {"ms", 0x003E, 1252},
    {"nb", 0x0414, 1252}, {"nl", 0x0013, 1252}, {"nn", 0x0814, 1252}, {"pl", 0x0015, 1250},
    {"pt", 0x0816, 1252}, {"pt_BR", 0x0416, 1252}, {"ro", 0x0018, 1250}, {"ru", 0x0019, 1251},
    {"sk", 0x001B, 1250}, {"sl", 0x0024, 1250}, {"sq", 0x001C, 1250}, {"sv", 0x001D, 1252},
    {"sw", 0x0041, 1252}, {"th", 0x001E, 874},  {"tr", 0x001F, 1254}, {"uk", 0x0022, 1251},
    {"vi", 0x002A, 1258}, {"zh_CN", 0x0804, 936}, {"zh_HK", 0x0C04, 950}, {"zh_SG", 0x1004, 936},
    {"zh_TW", 0x0404, 950},
};

// Written right to left: the launcher's windows have no mirrored layout.
const char *const RIGHT_TO_LEFT[] = {"ar", "ckb", "dv", "fa", "he", "iw", "ps", "sd", "syr", "ug", "ur", "yi"};

}  // namespace

bool FindLanguage(const std::string &header, Language *language, std::string *error)
{
    // "de_AT.UTF-8@euro" and "pt-BR" alike: language, then country.
    std::string name = header.substr(0, header.find_first_of(".@"));
    std::replace(name.begin(), name.end(), '-', '_');
    std::string base = name.substr(0, name.find('_'));
    std::transform(base.begin(), base.end(), base.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string country = name.size() > base.size() ? name.substr(base.size() + 1) : "";
    std::transform(country.begin(), country.end(), country.begin(), [](unsigned char c) { return std::toupper(c); });
    for (const char *rtl : RIGHT_TO_LEFT)
        if (base == rtl) {
            *error = "'" + header + "' is written right to left, which the launcher's windows cannot show";
            return false;
        }
    for (const std::string &key : {base + "_" + country, base})
        for (const Language &known : LANGUAGES)
            if (key == known.tag) {
                *language = known;
                return true;
            }
    *error = base == "zh" ? "'" + header + "' names no variant of Chinese: zh_CN (simplified) or zh_TW (traditional)"
                          : "'" + header + "' is not a language the launcher's texts can be stored in";
    return false;
}

std::string LanguageTag(uint16_t id)
{
    if (id == 0x0409)
        return "en_US";
    for (const Language &known : LANGUAGES)
        if (known.id == id)
            return known.tag;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", id);
    return hex;
}

}  // namespace sfxpack
