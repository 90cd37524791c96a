// `sfxpack texts`: the template from which translators make a .po file.
#include "sfxpack/cli/command_line.h"

#include <cstdio>

#include "sfxpack/texts/launcher_texts.h"

namespace sfxpack {

namespace {

const char TEXTS_HELP[] =
    "Usage: sfxpack texts > launcher.pot\n"
    "\n"
    "Prints every text the launcher shows, as a gettext template (.pot), each\n"
    "with a comment saying where it appears and what its fields are. A\n"
    "translation made from it (msginit, or a copy with the Language header\n"
    "filled in) is given to 'sfxpack create --language FILE.po'.\n";

}  // namespace

int TextsCommand(const Arguments &args)
{
    if (PrintHelpIfAsked(args, TEXTS_HELP))
        return 0;
    if (!args.empty())
        return UsageError("texts", "texts takes no arguments: " + args[0]);
    std::fputs(TranslationTemplate().c_str(), stdout);
    return 0;
}

}  // namespace sfxpack
