// `sfxpack verify`: its options and its help.
#include "sfxpack/cli/command_line.h"

#include <cstdio>

#include "sfxpack/read/entry_name.h"
#include "sfxpack/read/verify.h"

namespace sfxpack {

namespace {

const char VERIFY_HELP[] =
    "Usage: sfxpack verify PKG.exe [--codepage N]\n"
    "\n"
    "Gives the launcher's verdict: exits with 0 exactly for a package that the\n"
    "launcher extracts. Reads the whole package as the launcher does; checks\n"
    "each stored name as the launcher does before writing it: the folder part\n"
    "at least as long as the source prefix, at most 247 bytes of path below the\n"
    "working folder, no leading separator, ':', control character, '..' or its\n"
    "kin, device name, '/', component ending in a dot or a blank or one of\n"
    "*?\"<>|, and a file name after the last '\\'; a file and a folder of one\n"
    "name (as Windows compares names) are refused, and a name that Windows\n"
    "takes for an earlier file's is a warning; and, when the package has an\n"
    "integrity record, checks the record and the CRC-32 of the header and of\n"
    "every entry. Prints one line saying whether the record is present and how\n"
    "many entries were checked, or names the first fault (entry, field, offset)\n"
    "on stderr and exits with 1.\n"
    "A path long enough that a long TEMP would make the launcher refuse it is a\n"
    "warning giving the longest TEMP left. The record detects damage, not\n"
    "deliberate edits, which can rewrite or remove it: sign the package for that.\n"
    "\n"
    "  --codepage N   the package's ANSI code page (default 1252); only the\n"
    "                 ASCII-compatible Windows code pages are taken\n";

}  // namespace

int VerifyCommand(const Arguments &args)
{
    ReadOptions options;
    FileSource file, recordFile;
    int exitCode = OpenPackageTwice("verify", args, VERIFY_HELP, &options, &file, &recordFile);
    if (exitCode >= 0)
        return exitCode;
    std::string error;
    VerifyResult result;
    if (!VerifyPackage(file, recordFile, options.codePage, &result, &error))
        return Fail(options.path + ": " + error);
    for (const std::string &warning : result.warnings)
        std::fprintf(stderr, "sfxpack: warning: %s: %s\n", options.path.c_str(), warning.c_str());
    // How long TEMP may be depends on the user's machine: a warning, not a fault.
    int longestTemp = LongestTempFor(result.longestPath);
    if (longestTemp < LONGEST_TEMP)
        std::fprintf(stderr,
                     "sfxpack: warning: %s: %s: its %d bytes of path below the working folder leave room for a "
                     "TEMP of at most %d bytes; under a longer one the launcher refuses the package\n",
                     options.path.c_str(), result.longestEntry.c_str(), int(result.longestPath), longestTemp);
    if (result.recordPresent)
        std::printf("%s: intact; integrity record: present, %d entries checked\n", options.path.c_str(),
                    int(result.entries));
    else
        std::printf("%s: %d entries read whole; no integrity record, so their bytes are not checked\n",
                    options.path.c_str(), int(result.entries));
    return 0;
}

}  // namespace sfxpack
