// The Windows build of sfxpack: Debian has no libgettextpo for mingw.
#include "sfxpack/texts/po_file.h"

namespace sfxpack {

bool ReadPoFile(const std::string &path, PoFile *, std::string *error)
{
    *error = path + ": --language needs GNU gettext's libgettextpo, which the Windows build of sfxpack "
                    "lacks; make packages with translations with the Linux build";
    return false;
}

}  // namespace sfxpack
