// `sfxpack create`: its options and its help.
#include "sfxpack/cli/command_line.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "sfxpack/pe/manifest.h"
#include "sfxpack/pe/version_info.h"
#include "sfxpack/texts/po_file.h"
#include "sfxpack/write/create.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

const char CREATE_HELP[] =
    "Usage: sfxpack create -o OUT.exe [--stub LAUNCHER.exe] [--setup \"CMD\"] [--title T]\n"
    "                      [--password P] [--source-prefix PREFIX] [--codepage N]\n"
    "                      [--compress | --no-integrity] [--exit-codes] [--follow-links]\n"
    "                      [--skip-empty] [--quiet] [--icon FILE] [--file-version V]\n"
    "                      [--product-version V] [--version-string KEY=VALUE]...\n"
    "                      [--execution-level LEVEL | --manifest FILE]\n"
    "                      [--caption TEXT] [--language LANG|FILE.po]... DIR\n"
    "\n"
    "Packs every regular file below DIR, sorted by stored name, with names\n"
    "relative to DIR and backslash separators, each preceded by PREFIX.\n"
    "The launcher cuts as many bytes as PREFIX is long off each name's folder\n"
    "part, so a PREFIX without a trailing backslash gets one ('/' counts as\n"
    "'\\'). Texts and names are converted from UTF-8 to the ANSI code page N\n"
    "(default 1252), character by character; a character it cannot hold, or\n"
    "whose bytes read back as another, is refused. Time stamps are the\n"
    "files' modification times in local time, rounded down to 2 seconds. The\n"
    "default stub is launcher.exe beside sfxpack (in the build tree, a link to\n"
    "the built launcher), else ../share/sfxpack/launcher.exe from sfxpack's\n"
    "folder (the installed layout). Limits: password 39 bytes,\n"
    "setup command 127, title 79, prefix 127, stored name 260; files of 1 byte\n"
    "to below 2 GiB; packages below 2 GiB. A path below the working directory\n"
    "of more than 195 bytes draws a warning. Nothing is left at OUT on failure.\n"
    "With --icon, a version or manifest option, --caption or --language the\n"
    "launcher's resources are rebuilt (the rest kept byte for byte) and the\n"
    "image checksum covers the whole package; without them the launcher is\n"
    "packed as it is. With any\n"
    "version option, FileDescription and ProductName default to T,\n"
    "OriginalFilename to OUT's file name, each version number to the other, and\n"
    "FileVersion and ProductVersion to them; --version-string wins. Texts are\n"
    "stored in Unicode whatever N. Sign the package, if at all, after this.\n"
    "Every option that takes a value also takes --option=VALUE; an empty\n"
    "value of -o, --stub, --icon, --manifest or a version or level option is a\n"
    "usage error.\n"
    "\n"
    "  -o OUT.exe            the package to write\n"
    "  --stub LAUNCHER.exe   the launcher to pack instead of the default one\n"
    "  --setup \"CMD\"         the setup program the launcher starts, with its arguments\n"
    "  --title T             the product's name; the launcher asks whether to install it\n"
    "  --password P          the password the launcher asks for\n"
    "  --source-prefix PREFIX  the folder part stored before each name\n"
    "  --codepage N          the ANSI code page of names and texts (default 1252);\n"
    "                        only the ASCII-compatible Windows code pages are taken\n"
    "  --compress            compress the files (LZMA, solid within chunks of\n"
    "                        64 MiB, one a core at a time); the launcher decodes\n"
    "                        them as it copies. Such a package always carries\n"
    "                        the integrity record\n"
    "  --no-integrity        no integrity record (CRC-32 of the header and of\n"
    "                        every entry, checked by the launcher as it extracts)\n"
    "  --exit-codes          the package's exit code tells how the run ended: the\n"
    "                        setup program's own code, or a Windows error code\n"
    "                        for each failure (without it, always 0)\n"
    "  --follow-links        store what each symbolic link points to, file or\n"
    "                        folder, instead of refusing links; a link that\n"
    "                        points nowhere or leads round in a loop is refused\n"
    "  --skip-empty          leave empty files out, with a warning each, instead\n"
    "                        of refusing them all\n"
    "  --quiet               no progress line on a terminal\n"
    "  --icon FILE           the package's icon in Explorer and in its windows:\n"
    "                        every image of an .ico file, or a PNG of at most\n"
    "                        256x256 pixels\n"
    "  --file-version V      the file version, 1 to 4 numbers of 0 to 65535\n"
    "  --product-version V   the product version, likewise\n"
    "  --version-string KEY=VALUE  a string of the version information, such as\n"
    "                        CompanyName, LegalCopyright or Comments; repeatable\n"
    "  --execution-level LEVEL  a manifest requesting asInvoker, highestAvailable\n"
    "                        or requireAdministrator (default: no manifest)\n"
    "  --manifest FILE       this application manifest instead (well-formed XML)\n"
    "  --caption TEXT        the caption of every message box and window of the\n"
    "                        launcher, in every language (at most 127 characters)\n"
    "  --language LANG|FILE.po  the launcher's texts in one more language, beside\n"
    "                        US English: a shipped translation by name (de, fr,\n"
    "                        es, it, pt_BR, pl, ru, ja, zh_CN, ko) or a .po file\n"
    "                        made from 'sfxpack texts'; repeatable. Windows shows\n"
    "                        the user's language where the package holds it. Not\n"
    "                        in the Windows build of sfxpack (no libgettextpo)\n";

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

// A shipped translation by its name, beside sfxpack (the build tree) or in
// the installed layout's data folder; anything with a folder or an
// extension is a file.
bool TranslationPath(const std::string &value, std::string *path, std::string *error)
{
    *path = value;
    if (value.find_first_of("/\\.") != std::string::npos)
        return true;
    fs::path own = OwnDirectory();
    const fs::path places[] = {own / "translations", (own / "../share/sfxpack/translations").lexically_normal()};
    for (const fs::path &place : places) {
        std::error_code failure;
        if (!own.empty() && fs::is_regular_file(place / (value + ".po"), failure)) {
            *path = (place / (value + ".po")).u8string();
            return true;
        }
    }
    *error = "--language " + value + ": no shipped translation of that name in " + places[0].u8string() + " or " +
             places[1].u8string() + "; give a .po file";
    return false;
}

}  // namespace

int CreateCommand(const Arguments &args)
{
    if (PrintHelpIfAsked(args, CREATE_HELP))
        return 0;
    CreateOptions options;
    // The options that take a value; an empty one is refused where it would
    // silently mean the option's absence.
    const struct {
        const char *name;
        std::string *target;
        bool emptyTaken;
    } valued[] = {
        {"-o", &options.outputPath, false},
        {"--stub", &options.stubPath, false},
        {"--setup", &options.setupCommand, true},
        {"--title", &options.productTitle, true},
        {"--password", &options.password, true},
        {"--source-prefix", &options.sourcePrefix, true},
        {"--icon", &options.iconPath, false},
        {"--file-version", &options.fileVersion, false},
        {"--product-version", &options.productVersion, false},
        {"--execution-level", &options.executionLevel, false},
        {"--manifest", &options.manifestPath, false},
        {"--caption", &options.caption, false},
    };
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &arg = args[i];
        std::string value, problem;
        int usage = -1;
        bool matched = false;
        for (const auto &option : valued)
            if (!matched && OptionValue("create", args, &i, option.name, option.emptyTaken, option.target, &usage))
                matched = true;
        if (matched) {
            if (usage >= 0)
                return usage;
        } else if (arg == "--no-integrity") {
            options.integrityRecord = false;
        } else if (arg == "--compress") {
            options.compress = true;
        } else if (arg == "--exit-codes") {
            options.exitCodes = true;
        } else if (arg == "--follow-links") {
            options.followLinks = true;
        } else if (arg == "--skip-empty") {
            options.skipEmpty = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (OptionValue("create", args, &i, "--codepage", true, &value, &usage)) {
            if (usage >= 0)
                return usage;
            if (!ParseCodePage(value, &options.codePage, &problem))
                return UsageError("create", problem);
        } else if (OptionValue("create", args, &i, "--language", false, &value, &usage)) {
            if (usage >= 0)
                return usage;
            std::string path, error;
            if (!CanReadPoFiles(&error) || !TranslationPath(value, &path, &error))
                return Fail(error);
            options.languagePaths.push_back(path);
        } else if (OptionValue("create", args, &i, "--version-string", true, &value, &usage)) {
            if (usage >= 0)
                return usage;
            size_t equals = value.find('=');
            if (equals == 0 || equals == std::string::npos)
                return UsageError("create", "--version-string: '" + value + "' is not KEY=VALUE");
            options.versionStrings.emplace_back(value.substr(0, equals), value.substr(equals + 1));
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("create", "unknown option " + arg);
        } else if (options.directory.empty()) {
            options.directory = arg;
        } else {
            return UsageError("create", "more than one DIR: " + options.directory + ", " + arg);
        }
    }
    // Values that cannot be right are usage errors, as unknown options are.
    std::string problem, xml;
    uint16_t numbers[4];
    if (!options.fileVersion.empty() && !ParseVersionNumber(options.fileVersion, numbers, &problem))
        return UsageError("create", "--file-version: " + problem);
    if (!options.productVersion.empty() && !ParseVersionNumber(options.productVersion, numbers, &problem))
        return UsageError("create", "--product-version: " + problem);
    if (!options.executionLevel.empty() && !ManifestForLevel(options.executionLevel, &xml, &problem))
        return UsageError("create", "--execution-level: " + problem);
    if (options.outputPath.empty())
        return UsageError("create", "create: -o OUT.exe is missing");
    if (options.directory.empty())
        return UsageError("create", "create: DIR is missing");
    if (options.compress && !options.integrityRecord)
        return UsageError("create", "--compress and --no-integrity exclude each other: a compressed package always "
                                    "carries the integrity record");
    if (!options.manifestPath.empty() && !options.executionLevel.empty())
        return UsageError("create", "--manifest and --execution-level exclude each other");
    std::string error;
    if (options.stubPath.empty() && !FindLauncher(&options.stubPath, &error))
        return Fail(error);

    std::vector<std::string> warnings;
    bool ok = CreatePackage(options, &warnings, &error);
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "sfxpack: warning: %s\n", warning.c_str());
    return ok ? 0 : Fail(error);
}

}  // namespace sfxpack
