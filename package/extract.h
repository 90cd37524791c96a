// Copying every stored file out of the package into the working directory.
#ifndef PACKAGE_EXTRACT_H
#define PACKAGE_EXTRACT_H

#include <windows.h>
#include "launcher/status.h"

ExtractStatus ExtractPackage(HINSTANCE module);

#endif
