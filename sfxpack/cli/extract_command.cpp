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
    "--force) what the launcher would unpack, after the checks of each name\n"
    "that verify makes: names cut by the source prefix, split at '\\', each part\n"
    "converted from code page N to UTF-8 and checked again; a name that Windows\n"
    "takes for an earlier entry's (case aside, or by an 8.3 name) is refused;\n"
    "time stamps are the stored local times less this machine's offset from UTC at\n"
    "the moment, as the launcher reads them. Each entry is written to a\n"
    "temporary in its folder and renamed to its name only once its bytes match\n"
    "the integrity record: a damaged entry, a package cut short meanwhile or an\n"
    "interruption leaves no file behind, and a file already there under that\n"
    "name stays as it was. Links already in DIR are never followed. The\n"
    "password is not asked and no setup program is run.\n"
    "\n"
    "  --force        extract into a folder that is not empty\n"
    "  --codepage N   the package's ANSI code page (default 1252); only the\n"
    "                 ASCII-compatible Windows code pages are taken\n";

}  // namespace

int ExtractCommand(const Arguments &args)
{
    ReadOptions options;
    FileSource file, recordFile;
    int exitCode = OpenPackageTwice("extract", args, EXTRACT_HELP, &options, &file, &recordFile);
    if (exitCode >= 0)
        return exitCode;
    std::string error;
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
