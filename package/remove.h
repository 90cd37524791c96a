// Deleting what an extraction wrote, and the owned working directory.
#ifndef PACKAGE_REMOVE_H
#define PACKAGE_REMOVE_H

#include <windows.h>
#include "launcher/status.h"

ExtractStatus RemoveExtractedFiles(HINSTANCE module);

// Removes the working directory that this run made, when it is empty.
void RemoveWorkingDir();

#endif
