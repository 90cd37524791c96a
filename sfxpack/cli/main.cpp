// sfxpack: writes packages for the self-extracting launcher, lists, verifies
// and unpacks them.
#include "sfxpack/cli/command_line.h"

#include <cstdio>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace fs = std::filesystem;

namespace {

const char OVERVIEW[] =
    "Usage: sfxpack COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  create -o OUT.exe [OPTIONS] DIR   pack the files below DIR into a package\n"
    "  list PKG.exe                      show the header and the entries\n"
    "  verify PKG.exe                    check a package as the launcher would\n"
    "  extract PKG.exe DIR [--force]     unpack a package here (not on Windows)\n"
    "  texts                             print the launcher's texts as a .pot template\n"
    "\n"
    "Most used options of create:\n"
    "  --setup \"CMD\"      the setup program the launcher starts after unpacking\n"
    "  --title T          the product's name, shown in the install question\n"
    "  --password P       the password the launcher asks for\n"
    "  --codepage N       the ANSI code page of names and texts (default 1252)\n"
    "  --icon FILE.ico    the package's icon\n"
    "  --file-version V   version information, with --version-string KEY=VALUE\n"
    "  --execution-level asInvoker|highestAvailable|requireAdministrator\n"
    "  --exit-codes       the package's exit code tells how the run ended\n"
    "  --caption TEXT     the caption of the launcher's windows and message boxes\n"
    "  --language LANG    its texts in one more language (de, fr, ja, FILE.po, ...)\n"
    "\n"
    "'sfxpack COMMAND --help' describes one command in full, 'man sfxpack' all;\n"
    "'sfxpack --version' prints the version.\n"
    "Exit codes: 0 success, 1 refused or failed, 2 wrong usage.\n";

// The arguments in UTF-8, whatever the system's code page.
sfxpack::Arguments CommandArguments(int argc, char **argv)
{
    sfxpack::Arguments args;
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
    sfxpack::Arguments args = CommandArguments(argc, argv);
    if (args.empty())
        return sfxpack::UsageError("", "a command is missing");
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h") {
        std::fputs(OVERVIEW, stdout);
        return 0;
    }
    if (command == "--version") {
        std::puts("sfxpack " SFXPACK_VERSION);
        return 0;
    }
    if (command == "create")
        return sfxpack::CreateCommand(args);
    if (command == "list")
        return sfxpack::ListCommand(args);
    if (command == "verify")
        return sfxpack::VerifyCommand(args);
    if (command == "texts")
        return sfxpack::TextsCommand(args);
#ifndef _WIN32
    if (command == "extract")
        return sfxpack::ExtractCommand(args);
#endif
    return sfxpack::UsageError("", "unknown command " + command);
}
