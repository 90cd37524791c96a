// The process exit code. A package whose header asks for it (see
// package/format.h) exits with a code that tells how the run ended, for
// deployment tools that read it; every other package exits with 0.
#ifndef LAUNCHER_EXIT_CODE_H
#define LAUNCHER_EXIT_CODE_H

#include <windows.h>
#include "launcher/status.h"

// The code for a run that ended with `status`. `systemCode` is what the run
// gave beside it: after EXTRACT_OK the setup program's own exit code, or the
// system's code of its failed start (0 without a setup command); after
// EXTRACT_DATA_WRITE_FAILED the system's code of the failed write.
DWORD ExitCodeOf(ExtractStatus status, DWORD systemCode);

// `code` when the package's header asks for exit codes, otherwise 0. The
// mark is read from a header whose other fields are damaged too; a header
// resource that is missing or short asks for nothing.
DWORD PackageExitCode(HINSTANCE module, DWORD code);

#endif
