// Copying every stored file out of the package into the working directory.
#ifndef PACKAGE_EXTRACT_H
#define PACKAGE_EXTRACT_H

#include <windows.h>
#include "launcher/status.h"

// The whole extraction, setup program included. `systemCode` gets what the
// run gave beside the status: after EXTRACT_OK the setup program's own exit
// code, or the system's code of its failed start (0 without a setup
// command); after EXTRACT_DATA_WRITE_FAILED the system's code of the failed
// write; 0 otherwise.
ExtractStatus ExtractPackage(HINSTANCE module, DWORD *systemCode);

// Closes the output file that an extraction under way holds open, so that a
// removal pass run from a window message (the end of the user's session) can
// delete it. The extraction notices sessionEnded and writes nothing more.
void AbandonExtraction();

#endif
