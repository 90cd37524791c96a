// The Windows build of sfxpack: Debian has no libgettextpo for mingw.
#include "sfxpack/texts/po_file.h"

namespace sfxpack {

bool CanReadPoFiles(std::string *why)
{
    *why = "--language needs GNU gettext's libgettextpo, which the Windows build of sfxpack lacks; make "
           "packages with translations with the Linux build";
    return false;
}

bool ReadPoFile(const std::string &path, PoFile *, std::string *error)
{
    CanReadPoFiles(error);
    *error = path + ": " + *error;
    return false;
}

}  // namespace sfxpack
