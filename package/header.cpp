#include "package/header.h"
#include "launcher/globals.h"
#include "package/crc32.h"

// Copies a scrambled text field and descrambles it over its full width. The
// last byte is forced to NUL so that a field without one is cut, never read
// past its end.
static void CopyTextField(char *out, const char *field, int width)
{
    CopyMemory(out, field, width);
    UnscrambleField(out, width);
    out[width - 1] = '\0';
}

static void ReleaseHeader(HGLOBAL loaded)
{
    GlobalUnlock(loaded);
    FreeResource(loaded);
}

ExtractStatus LoadPackageHeader(HINSTANCE module, PackageInfo *info)
{
    HRSRC found = FindResourceA(module, PACKAGE_RESOURCE_NAME, "#1024");
    if (!found)
        return EXTRACT_NO_HEADER;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded)
        return EXTRACT_NO_HEADER;
    const PackageHeader *header = static_cast<const PackageHeader *>(LockResource(loaded));
    if (!header)
        return EXTRACT_NO_HEADER;

    // A resource shorter than the record is never read past its end.
    int whole = SizeofResource(module, found) >= PACKAGE_HEADER_SIZE;
    // Read before the other fields are checked: a package that asks for exit
    // codes tells by its exit code that its header is damaged too.
    info->exitCodesMarked = whole && MarksExitCodes(header->reserved);
    if (!whole || header->headerSize != PACKAGE_HEADER_SIZE || header->formatVersion != PACKAGE_FORMAT_VERSION) {
        ReleaseHeader(loaded);
        return EXTRACT_BAD_HEADER;
    }

    info->payloadOffset = header->payloadOffset;
    info->entryCount = header->entryCount;
    info->packageLength = header->packageLength;
    totalBlocks = header->totalBlocks;
    info->integrityMarked = MarksIntegrityRecord(header->reserved);
    info->headerCrc = Crc32Update(0, header, PACKAGE_HEADER_SIZE);

    CopyTextField(storedPassword, header->storedPassword, PASSWORD_FIELD_SIZE);
    CopyTextField(info->setupCommand, header->setupCommand, SETUP_COMMAND_FIELD_SIZE);
    CopyTextField(info->productTitle, header->productTitle, PRODUCT_TITLE_FIELD_SIZE);
    CopyTextField(info->sourcePrefix, header->sourcePrefix, SOURCE_PREFIX_FIELD_SIZE);

    ReleaseHeader(loaded);

    if (info->entryCount <= 0)
        return EXTRACT_NO_ENTRIES;
    return EXTRACT_OK;
}
