// `sfxpack extract`: its options and its help. Linux only: unpacking relies
// on the POSIX calls that never follow a link.
#include "sfxpack/cli/command_line.h"

#include <cstdio>

#include "sfxpack/read/extract.h"

namespace sfxpack {

namespace {

const char EXTRACT_HELP[] =
    "Usage: sfxpack extract PKG.exe DIR [--force] [--codepage N]   (not on Windows)\n"
    "\n"
    "Unpacks into DIR (made when missing; one that is not empty only with\n"
    "--force) what the launcher would unpack: names cut by the source prefix,\n"
    "converted from code page N to UTF-8, '\\' and '/' as separators; time\n"
    "stamps are the stored local times less this machine's offset from UTC at\n"
    "the moment, as the launcher reads them. It checks every entry against the\n"
    "integrity record as it goes: a damaged entry leaves no file behind. Names\n"
    "that climb out of DIR, start with a separator, hold ':', one of *?\"<>| or\n"
    "a control character, or name a device are refused; links already in DIR\n"
    "are never followed. The password is not asked and no setup program is run.\n"
    "\n"
    "  --force        extract into a folder that is not empty\n"
    "  --codepage N   the package's ANSI code page (default 1252)\n";

}  // namespace

int ExtractCommand(const Arguments &args)
{
    if (PrintHelpIfAsked(args, EXTRACT_HELP))
        return 0;
    ReadOptions options;
    int usage = ParseReadOptions("extract", args, &options);
    if (usage >= 0)
        return usage;
    FileSource file, recordFile;
    std::string error;
    if (!OpenTwice(options.path, &file, &recordFile, &error))
        return Fail(error);
    ExtractOptions extract;
    extract.directory = options.directory;
    extract.codePage = options.codePage;
    extract.force = options.force;
    ExtractResult result;
    if (!ExtractPackage(file, recordFile, extract, &result, &error))
        return Fail(options.path + ": " + error);
    if (result.recordPresent)
        std::printf("%s: %d files extracted; integrity record: present, %d entries checked\n",
                    options.directory.c_str(), int(result.files), int(result.files));
    else
        std::printf("%s: %d files extracted; no integrity record, so their bytes are not checked\n",
                    options.directory.c_str(), int(result.files));
    return 0;
}

}  // namespace sfxpack
