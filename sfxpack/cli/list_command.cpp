// `sfxpack list`: its options and its help.
#include "sfxpack/cli/command_line.h"

#include <cstdio>

#include "sfxpack/read/reader.h"

namespace sfxpack {

namespace {

const char LIST_HELP[] =
    "Usage: sfxpack list PKG.exe [--show-password] [--codepage N]\n"
    "\n"
    "Prints one \"field: value\" line each for headerSize, formatVersion,\n"
    "payloadOffset, entryCount, packageLength, totalBlocks, reserved,\n"
    "integrity (yes when the header marks an integrity record), exitCodes (yes\n"
    "when the header asks for exit codes that tell the outcome), resourceSize,\n"
    "fileLength, passwordSet (yes/no), password (only with --show-password),\n"
    "setupCommand, productTitle and sourcePrefix; then icons (the sizes of\n"
    "the images Explorer shows), version (none, or fileVersion, productVersion\n"
    "and one \"version: Key=Value\" line per string) and manifest (the\n"
    "requested execution level, or none); then one line per entry in stored\n"
    "order:\n"
    "  entry: SIZE YYYY-MM-DD HH:MM:SS NAME\n"
    "Texts and names are converted from code page N (default 1252) to UTF-8.\n"
    "Control characters, and a backslash that would read as an escape, are\n"
    "shown as \\xNN, so every entry is one line. A malformed package is\n"
    "reported on stderr with the entry, field and offset at fault, after the\n"
    "lines for what could be read. list reads only the headers and entries,\n"
    "in bounded memory, whatever the package's size.\n"
    "\n"
    "  --show-password   print the stored password too\n"
    "  --codepage N      the package's ANSI code page (default 1252); only the\n"
    "                    ASCII-compatible Windows code pages are taken\n";

}  // namespace

int ListCommand(const Arguments &args)
{
    if (PrintHelpIfAsked(args, LIST_HELP))
        return 0;
    ReadOptions options;
    int usage = ParseReadOptions("list", args, &options);
    if (usage >= 0)
        return usage;
    FileSource file;
    std::string error;
    if (!file.Open(options.path, &error))
        return Fail(error);
    bool ok = ListPackage(file, options.codePage, options.showPassword, stdout, &error);
    std::fflush(stdout);
    return ok ? 0 : Fail(options.path + ": " + error);
}

}  // namespace sfxpack
