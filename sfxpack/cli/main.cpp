// sfxpack: writes packages for the self-extracting launcher and lists them.
#include "sfxpack/read/extract.h"
#include "sfxpack/read/reader.h"
#include "sfxpack/read/verify.h"
#include "sfxpack/write/create.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const char USAGE[] =
    "Usage:\n"
    "  sfxpack create -o OUT.exe [--stub LAUNCHER.exe] [--setup \"CMD\"] [--title T]\n"
    "                 [--password P] [--source-prefix PREFIX] [--codepage N]\n"
    "                 [--no-integrity] [--follow-links] [--skip-empty] [--quiet]\n"
    "                 DIR\n"
    "  sfxpack list PKG.exe [--show-password] [--codepage N]\n"
    "  sfxpack verify PKG.exe [--codepage N]\n"
    "  sfxpack extract PKG.exe DIR [--force] [--codepage N]   (not on Windows)\n"
    "  sfxpack --version\n"
    "  sfxpack --help\n"
    "\n"
    "create packs every regular file below DIR, sorted by stored name, with\n"
    "names relative to DIR and backslash separators, each preceded by PREFIX.\n"
    "The launcher cuts as many bytes as PREFIX is long off each name's folder\n"
    "part, so a PREFIX without a trailing backslash gets one ('/' counts as\n"
    "'\\'). Texts and names are converted from UTF-8 to the ANSI code page N\n"
    "(default 1252); a character it cannot hold is refused. Time stamps are the\n"
    "files' modification times in local time, rounded down to 2 seconds. The\n"
    "default stub is launcher.exe beside sfxpack (in the build tree, a link to\n"
    "the built launcher), else ../share/sfxpack/launcher.exe from sfxpack's\n"
    "folder (the installed layout). Limits: password 39 bytes,\n"
    "setup command 127, title 79, prefix 127, stored name 260; files of 1 byte\n"
    "to below 2 GiB; packages below 2 GiB. A path below the working directory\n"
    "of more than 195 bytes draws a warning. Nothing is left at OUT on failure.\n"
    "After the last entry comes an integrity record (CRC-32 of the header and\n"
    "of every entry), which the launcher checks while it extracts; launchers\n"
    "that do not know it ignore it. --no-integrity leaves it out.\n"
    "A symbolic link is refused, since it may point outside DIR;\n"
    "--follow-links stores what each link points to, file or folder, and\n"
    "refuses a link that points nowhere or leads round in a loop. An empty file\n"
    "cannot be stored: all of them are named in the refusal; --skip-empty\n"
    "leaves them out with a warning each. The package is written in one pass,\n"
    "a chunk at a time. While it is written, a line on a terminal shows the\n"
    "files and bytes done, the rate and the file being packed; --quiet hides it.\n"
    "\n"
    "list prints one \"field: value\" line each for headerSize, formatVersion,\n"
    "payloadOffset, entryCount, packageLength, totalBlocks, reserved,\n"
    "integrity (yes when the header marks an integrity record), resourceSize,\n"
    "fileLength, passwordSet (yes/no), password (only with --show-password),\n"
    "setupCommand, productTitle and sourcePrefix, then one line per entry in\n"
    "stored order:\n"
    "  entry: SIZE YYYY-MM-DD HH:MM:SS NAME\n"
    "Texts and names are converted from code page N (default 1252) to UTF-8.\n"
    "Control characters, and a backslash that would read as an escape, are\n"
    "shown as \\xNN, so every entry is one line. A malformed package is\n"
    "reported on stderr with the entry, field and offset at fault, after the\n"
    "lines for what could be read. list reads only the headers and entries,\n"
    "in bounded memory, whatever the package's size.\n"
    "\n"
    "verify reads the whole package as the launcher does and, when the header\n"
    "marks an integrity record, checks the record and the CRC-32 of the\n"
    "header and of every entry. It prints one line saying whether the record\n"
    "is present and how many entries were checked, or names the first fault\n"
    "(entry, field, offset) on stderr and exits with 1.\n"
    "\n"
    "extract unpacks into DIR (made when missing; one that is not empty only\n"
    "with --force) what the launcher would unpack: names cut by the source\n"
    "prefix, converted from code page N to UTF-8, '\\' and '/' as separators;\n"
    "time stamps are the stored local times less this machine's offset from\n"
    "UTC at the moment, as the launcher reads them. It checks every entry\n"
    "against the integrity record as it goes: a damaged entry leaves no file\n"
    "behind. Names that climb out of DIR, start with a separator, hold ':',\n"
    "one of *?\"<>| or a control character, or name a device are refused;\n"
    "links already in DIR are never followed. The password is not asked and\n"
    "no setup program is run.\n"
    "\n"
    "Exit codes: 0 success, 1 refused or failed, 2 wrong usage.\n";

int Usage(const std::string &problem)
{
    std::fprintf(stderr, "sfxpack: %s\n%s", problem.c_str(), USAGE);
    return 2;
}

int Fail(const std::string &error)
{
    std::fprintf(stderr, "sfxpack: %s\n", error.c_str());
    return 1;
}

bool ParseCodePage(const std::string &text, int *codePage)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *codePage = std::atoi(text.c_str());
    return *codePage >= 1 && *codePage <= 65535;
}

fs::path OwnDirectory()
{
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "";
    return fs::path(path).parent_path();
#else
    std::error_code failure;
    fs::path self = fs::read_symlink("/proc/self/exe", failure);
    return failure ? "" : self.parent_path();
#endif
}

// The launcher beside sfxpack, else in the installed layout's data folder,
// found relative to sfxpack so that any prefix or staging folder works.
bool FindLauncher(std::string *path, std::string *error)
{
    fs::path own = OwnDirectory();
    const fs::path places[] = {own / "launcher.exe", (own / "../share/sfxpack/launcher.exe").lexically_normal()};
    for (const fs::path &place : places) {
        std::error_code failure;
        if (!own.empty() && fs::is_regular_file(place, failure)) {
            *path = place.u8string();
            return true;
        }
    }
    *error = "no launcher at " + places[0].u8string() + " or " + places[1].u8string() +
             "; give the launcher with --stub LAUNCHER.exe";
    return false;
}

int Create(const std::vector<std::string> &args)
{
    sfxpack::CreateOptions options;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &arg = args[i];
        std::string *target = arg == "-o" ? &options.outputPath
                              : arg == "--stub" ? &options.stubPath
                              : arg == "--setup" ? &options.setupCommand
                              : arg == "--title" ? &options.productTitle
                              : arg == "--password" ? &options.password
                              : arg == "--source-prefix" ? &options.sourcePrefix
                              : nullptr;
        if (arg == "--no-integrity") {
            options.integrityRecord = false;
        } else if (arg == "--follow-links") {
            options.followLinks = true;
        } else if (arg == "--skip-empty") {
            options.skipEmpty = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (target || arg == "--codepage") {
            if (i + 1 == args.size())
                return Usage(arg + ": a value is missing");
            const std::string &value = args[++i];
            if (target)
                *target = value;
            else if (!ParseCodePage(value, &options.codePage))
                return Usage("--codepage: '" + value + "' is not a code page number");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (options.directory.empty()) {
            options.directory = arg;
        } else {
            return Usage("more than one DIR: " + options.directory + ", " + arg);
        }
    }
    if (options.outputPath.empty())
        return Usage("create: -o OUT.exe is missing");
    if (options.directory.empty())
        return Usage("create: DIR is missing");
    std::string error;
    if (options.stubPath.empty() && !FindLauncher(&options.stubPath, &error))
        return Fail(error);

    std::vector<std::string> warnings;
    bool ok = sfxpack::CreatePackage(options, &warnings, &error);
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "sfxpack: warning: %s\n", warning.c_str());
    return ok ? 0 : Fail(error);
}

// The package path and the options of the commands that read a package.
struct ReadOptions {
    std::string path;
    int codePage = 1252;
    bool showPassword = false;  // list
    std::string directory;      // extract
    bool force = false;         // extract
};

// Parses the arguments of `command` (list, verify or extract) into
// `options`. Returns -1 when they are fine, else the exit code.
int ParseReadOptions(const std::string &command, const std::vector<std::string> &args, ReadOptions *options)
{
    bool extract = command == "extract";
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &arg = args[i];
        if (arg == "--show-password" && command == "list") {
            options->showPassword = true;
        } else if (arg == "--force" && extract) {
            options->force = true;
        } else if (arg == "--codepage") {
            if (i + 1 == args.size())
                return Usage(arg + ": a value is missing");
            if (!ParseCodePage(args[++i], &options->codePage))
                return Usage("--codepage: '" + args[i] + "' is not a code page number");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (options->path.empty()) {
            options->path = arg;
        } else if (extract && options->directory.empty()) {
            options->directory = arg;
        } else {
            return Usage(extract ? "more than one DIR: " + options->directory + ", " + arg
                                 : "more than one package: " + options->path + ", " + arg);
        }
    }
    if (options->path.empty())
        return Usage(command + ": PKG.exe is missing");
    if (extract && options->directory.empty())
        return Usage("extract: DIR is missing");
    return -1;
}

int List(const std::vector<std::string> &args)
{
    ReadOptions options;
    int usage = ParseReadOptions("list", args, &options);
    if (usage >= 0)
        return usage;
    sfxpack::FileSource file;
    std::string error;
    if (!file.Open(options.path, &error))
        return Fail(error);
    bool ok = sfxpack::ListPackage(file, options.codePage, options.showPassword, stdout, &error);
    std::fflush(stdout);
    return ok ? 0 : Fail(options.path + ": " + error);
}

#ifndef _WIN32
void ShrunkWhileRead(int)
{
    static const char text[] = "sfxpack: the package became shorter while it was read\n";
    ssize_t ignored = write(2, text, sizeof text - 1);
    (void)ignored;
    _exit(1);
}
#endif

// verify and extract read the entries through one handle and the integrity
// record through another. They map large entries (FileSource::Stream): a
// package cut short by someone else meanwhile raises SIGBUS.
bool OpenTwice(const std::string &path, sfxpack::FileSource *file, sfxpack::FileSource *recordFile,
               std::string *error)
{
    if (!file->Open(path, error) || !recordFile->Open(path, error))
        return false;
#ifndef _WIN32
    std::signal(SIGBUS, ShrunkWhileRead);
#endif
    return true;
}

int Verify(const std::vector<std::string> &args)
{
    ReadOptions options;
    int usage = ParseReadOptions("verify", args, &options);
    if (usage >= 0)
        return usage;
    sfxpack::FileSource file, recordFile;
    std::string error;
    if (!OpenTwice(options.path, &file, &recordFile, &error))
        return Fail(error);
    sfxpack::VerifyResult result;
    if (!sfxpack::VerifyPackage(file, recordFile, options.codePage, &result, &error))
        return Fail(options.path + ": " + error);
    if (result.recordPresent)
        std::printf("%s: intact; integrity record: present, %d entries checked\n", options.path.c_str(),
                    int(result.entries));
    else
        std::printf("%s: %d entries read whole; no integrity record, so their bytes are not checked\n",
                    options.path.c_str(), int(result.entries));
    return 0;
}

#ifndef _WIN32
int Extract(const std::vector<std::string> &args)
{
    ReadOptions options;
    int usage = ParseReadOptions("extract", args, &options);
    if (usage >= 0)
        return usage;
    sfxpack::FileSource file, recordFile;
    std::string error;
    if (!OpenTwice(options.path, &file, &recordFile, &error))
        return Fail(error);
    sfxpack::ExtractOptions extract;
    extract.directory = options.directory;
    extract.codePage = options.codePage;
    extract.force = options.force;
    sfxpack::ExtractResult result;
    if (!sfxpack::ExtractPackage(file, recordFile, extract, &result, &error))
        return Fail(options.path + ": " + error);
    if (result.recordPresent)
        std::printf("%s: %d files extracted; integrity record: present, %d entries checked\n",
                    options.directory.c_str(), int(result.files), int(result.files));
    else
        std::printf("%s: %d files extracted; no integrity record, so their bytes are not checked\n",
                    options.directory.c_str(), int(result.files));
    return 0;
}
#endif

// The arguments in UTF-8, whatever the system's code page.
std::vector<std::string> Arguments(int argc, char **argv)
{
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; i++)
        args.push_back(fs::path(wide[i]).u8string());
    LocalFree(wide);
#else
    args.assign(argv + 1, argv + argc);
#endif
    return args;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args = Arguments(argc, argv);
    if (args.empty())
        return Usage("a command is missing");
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h") {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (command == "--version") {
        std::puts("sfxpack " SFXPACK_VERSION);
        return 0;
    }
    if (command == "create")
        return Create(args);
    if (command == "list")
        return List(args);
    if (command == "verify")
        return Verify(args);
#ifndef _WIN32
    if (command == "extract")
        return Extract(args);
#endif
    return Usage("unknown command " + command);
}
