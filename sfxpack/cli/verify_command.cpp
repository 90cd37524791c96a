// `sfxpack verify`: its options and its help.
#include "sfxpack/cli/command_line.h"

#include <cstdio>

#include "sfxpack/read/verify.h"

namespace sfxpack {

namespace {

const char VERIFY_HELP[] =
    "Usage: sfxpack verify PKG.exe [--codepage N]\n"
    "\n"
    "Reads the whole package as the launcher does and, when the header marks\n"
    "an integrity record, checks the record and the CRC-32 of the header and\n"
    "of every entry. Prints one line saying whether the record is present and\n"
    "how many entries were checked, or names the first fault (entry, field,\n"
    "offset) on stderr and exits with 1.\n"
    "\n"
    "  --codepage N   the package's ANSI code page (default 1252)\n";

}  // namespace

int VerifyCommand(const Arguments &args)
{
    if (PrintHelpIfAsked(args, VERIFY_HELP))
        return 0;
    ReadOptions options;
    int usage = ParseReadOptions("verify", args, &options);
    if (usage >= 0)
        return usage;
    FileSource file, recordFile;
    std::string error;
    if (!OpenTwice(options.path, &file, &recordFile, &error))
        return Fail(error);
    VerifyResult result;
    if (!VerifyPackage(file, recordFile, options.codePage, &result, &error))
        return Fail(options.path + ": " + error);
    if (result.recordPresent)
        std::printf("%s: intact; integrity record: present, %d entries checked\n", options.path.c_str(),
                    int(result.entries));
    else
        std::printf("%s: %d entries read whole; no integrity record, so their bytes are not checked\n",
                    options.path.c_str(), int(result.entries));
    return 0;
}

}  // namespace sfxpack
