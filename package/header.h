// Reading the package header from the launcher's own resource.
#ifndef PACKAGE_HEADER_H
#define PACKAGE_HEADER_H

#include <windows.h>
#include "launcher/status.h"
#include "package/format.h"

// The values of one header read that belong to the run that read it.
struct PackageInfo {
    int payloadOffset;
    int entryCount;
    int packageLength;
    int integrityMarked;    // reserved marks an integrity record
    int exitCodesMarked;    // reserved asks for exit codes that tell the outcome
    uint32_t headerCrc;     // of the 404 bytes as stored
    char setupCommand[SETUP_COMMAND_FIELD_SIZE];
    char productTitle[PRODUCT_TITLE_FIELD_SIZE];
    char sourcePrefix[SOURCE_PREFIX_FIELD_SIZE];
};

// EXTRACT_OK, EXTRACT_NO_HEADER, EXTRACT_BAD_HEADER or EXTRACT_NO_ENTRIES.
// After EXTRACT_OK and EXTRACT_NO_ENTRIES `info` is filled and storedPassword
// and totalBlocks are set; after EXTRACT_BAD_HEADER exitCodesMarked is.
ExtractStatus LoadPackageHeader(HINSTANCE module, PackageInfo *info);

#endif
