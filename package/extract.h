// Copying every stored file out of the package into the working directory.
#ifndef PACKAGE_EXTRACT_H
#define PACKAGE_EXTRACT_H

#include <windows.h>
#include "launcher/status.h"

ExtractStatus ExtractPackage(HINSTANCE module);

// Closes the output file that an extraction under way holds open, so that a
// removal pass run from a window message (the end of the user's session) can
// delete it. The extraction notices sessionEnded and writes nothing more.
void AbandonExtraction();

#endif
