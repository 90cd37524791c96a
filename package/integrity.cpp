#include "package/integrity.h"
#include "package/crc32.h"
#include "launcher/globals.h"
#include "package/stream.h"

// The record is read through a stream of its own, so that the stream over
// the payload keeps its buffer and position. A record for many entries does
// not fit a fixed buffer: its own CRC is checked in one pass, and the entry
// CRCs are then read one by one as the entries are done.
static unsigned char recordBuffer[4096];
static FileStream record;

static int HasSignature(const IntegrityRecordHead *head)
{
    for (int i = 0; i < INTEGRITY_SIGNATURE_SIZE; i++)
        if (head->signature[i] != INTEGRITY_SIGNATURE[i])
            return 0;
    return 1;
}

// Reads the rest of the record after its head.
static int RecordCrcMatches(const IntegrityRecordHead *head)
{
    uint32_t crc = Crc32Update(0, head, sizeof *head);
    unsigned char chunk[256];
    for (LONGLONG left = 4 * LONGLONG(head->entryCount); left > 0;) {
        DWORD take = left < LONGLONG(sizeof chunk) ? DWORD(left) : DWORD(sizeof chunk);
        if (!ReadStream(&record, chunk, take))
            return 0;
        crc = Crc32Update(crc, chunk, take);
        left -= take;
    }
    uint32_t recorded;
    return ReadStream(&record, &recorded, sizeof recorded) && recorded == crc;
}

ExtractStatus OpenIntegrityRecord(const PackageInfo *info, int *present)
{
    BeginReading(&record, packageFile, recordBuffer, sizeof recordBuffer, info->packageLength);
    IntegrityRecordHead head;
    int headRead = ReadStream(&record, &head, sizeof head);
    // The mark keeps a damaged signature from passing for an old package.
    *present = info->integrityMarked || (headRead && HasSignature(&head));
    if (!*present)
        return EXTRACT_OK;
    // A package cut short before its record is told as such, as the length
    // test of the payload would have.
    if (!headRead && StreamLength(&record) < info->packageLength)
        return EXTRACT_BAD_PACKAGE_SIZE;
    if (!headRead || !HasSignature(&head) || head.version != INTEGRITY_VERSION || head.entryCount < 0 ||
        !RecordCrcMatches(&head))
        return EXTRACT_DATA_READ_FAILED;
    // Compared only once the record is known to be sound, so that a damaged
    // header, its entry count included, shows as one.
    if (head.headerCrc != info->headerCrc)
        return EXTRACT_BAD_HEADER;
    if (head.entryCount != info->entryCount)
        return EXTRACT_DATA_READ_FAILED;
    SeekStream(&record, LONGLONG(info->packageLength) + INTEGRITY_HEAD_BYTES);
    return EXTRACT_OK;
}

int NextEntryCrcMatches(uint32_t crc)
{
    uint32_t recorded;
    return ReadStream(&record, &recorded, sizeof recorded) && recorded == crc;
}
