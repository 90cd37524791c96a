// Checking the payload against the package's integrity record (see
// package/format.h) while it is extracted.
#ifndef PACKAGE_INTEGRITY_H
#define PACKAGE_INTEGRITY_H

#include <windows.h>
#include <stdint.h>
#include "launcher/status.h"
#include "package/header.h"

// Finds the record: present when the header is marked or the record's
// signature lies at packageLength. A record that is present must check out
// whole before any entry is written. EXTRACT_OK, with *present set when the
// record is there and the entry CRCs are ready to be read in order;
// EXTRACT_BAD_PACKAGE_SIZE when a marked package ends before packageLength;
// EXTRACT_BAD_HEADER when the header's bytes differ from those recorded;
// EXTRACT_DATA_READ_FAILED for a record that is damaged or does not match
// the header.
ExtractStatus OpenIntegrityRecord(const PackageInfo *info, int *present);

// 1 when `crc` is the recorded CRC of the next entry.
int NextEntryCrcMatches(uint32_t crc);

#endif
