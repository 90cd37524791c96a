// `sfxpack create`: from options to a finished package file.
#include "sfxpack/common/codepage.h"
#include "sfxpack/common/files.h"
#include "sfxpack/pe/pe_image.h"
#include "sfxpack/pe/pe_resource.h"
#include "sfxpack/write/create.h"
#include "sfxpack/write/progress.h"

#include <algorithm>

namespace sfxpack {

namespace {

bool ConvertText(const char *option, const std::string &utf8, int width, int codePage, std::string *out,
                 std::string *error)
{
    std::string why;
    if (!Utf8ToCodePage(utf8, codePage, out, &why)) {
        *error = std::string(option) + ": cannot be written in code page " + std::to_string(codePage) + ": " + why;
        return false;
    }
    // One byte of the field is kept for the NUL that ends the text.
    if (out->size() > size_t(width - 1)) {
        *error = std::string(option) + ": " + std::to_string(out->size()) + " bytes in code page " +
                 std::to_string(codePage) + "; at most " + std::to_string(width - 1) + " fit";
        return false;
    }
    return true;
}

bool CheckStub(const std::string &path, const Bytes &stub, std::string *error)
{
    ResourceLocation location;
    std::string why;
    if (!FindHeaderResource(stub, &location, &why)) {
        *error = path + ": no header placeholder (resource " PACKAGE_RESOURCE_NAME " of type " +
                 std::to_string(PACKAGE_RESOURCE_TYPE) + "): " + why;
        return false;
    }
    if (location.size != PACKAGE_HEADER_SIZE) {
        *error = path + ": the header placeholder is " + std::to_string(location.size) + " bytes, not " +
                 std::to_string(PACKAGE_HEADER_SIZE);
        return false;
    }
    // The payload appended after the image would break the signature,
    // whether or not the resources are rebuilt.
    PeImage image;
    if (ReadPeImage(stub, &image, &why) && HasSignature(stub, image)) {
        *error = path + ": the executable is signed; sign the package once it is made instead";
        return false;
    }
    auto first = stub.begin() + location.fileOffset;
    if (std::any_of(first, first + PACKAGE_HEADER_SIZE, [](unsigned char b) { return b != 0; })) {
        *error = path + ": the header placeholder is not empty; this is a package, not a launcher";
        return false;
    }
    return true;
}

}  // namespace

bool CreatePackage(const CreateOptions &options, std::vector<std::string> *warnings, std::string *error)
{
    Package package;
    package.integrityRecord = options.integrityRecord;
    package.exitCodes = options.exitCodes;
    package.compress = options.compress;
    // The launcher cuts as many bytes as the prefix is long from a name's
    // directory part, which ends in a backslash; so must the prefix.
    std::string prefix = options.sourcePrefix;
    std::replace(prefix.begin(), prefix.end(), '/', '\\');
    if (!prefix.empty() && prefix.back() != '\\')
        prefix += '\\';
    if (!ConvertText("--password", options.password, PASSWORD_FIELD_SIZE, options.codePage, &package.password,
                     error) ||
        !ConvertText("--setup", options.setupCommand, SETUP_COMMAND_FIELD_SIZE, options.codePage,
                     &package.setupCommand, error) ||
        !ConvertText("--title", options.productTitle, PRODUCT_TITLE_FIELD_SIZE, options.codePage,
                     &package.productTitle, error) ||
        !ConvertText("--source-prefix", prefix, SOURCE_PREFIX_FIELD_SIZE, options.codePage, &package.sourcePrefix,
                     error))
        return false;

    Bytes stub;
    if (!ReadFileBytes(options.stubPath, &stub, error) || !CheckStub(options.stubPath, stub, error) ||
        !ApplyResourceOptions(options, &stub, &package.imageChecksum, error))
        return false;
    if (!CollectEntries(options, package.sourcePrefix, int64_t(stub.size()), &package.entries, warnings, error))
        return false;

    ProgressLine line;
    StartProgress(&line, !options.quiet, package.entries);
    bool written = WritePackageFile(
        stub, package, options.outputPath,
        [&line](const Entry &current, size_t entriesDone, int64_t bytesDone) {
            ShowProgress(&line, current, entriesDone, bytesDone);
        },
        error);
    EndProgress(&line, written);
    return written;
}

}  // namespace sfxpack
