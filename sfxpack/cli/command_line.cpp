#include "sfxpack/cli/command_line.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "sfxpack/common/codepage.h"

#ifndef _WIN32
#include <unistd.h>

#include "sfxpack/common/partial_file.h"
#endif

namespace sfxpack {

int UsageError(const std::string &command, const std::string &problem)
{
    std::string help = command.empty() ? "sfxpack --help" : "sfxpack " + command + " --help";
    std::fprintf(stderr, "sfxpack: %s (see '%s')\n", problem.c_str(), help.c_str());
    return 2;
}

int Fail(const std::string &error)
{
    std::fprintf(stderr, "sfxpack: %s\n", error.c_str());
    return 1;
}

bool PrintHelpIfAsked(const Arguments &args, const char *help)
{
    for (const std::string &arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(help, stdout);
            return true;
        }
    }
    return false;
}

bool OptionValue(const std::string &command, const Arguments &args, size_t *i, const std::string &option,
                 bool emptyTaken, std::string *value, int *usage)
{
    const std::string &arg = args[*i];
    bool joined = option.compare(0, 2, "--") == 0 && arg.size() > option.size() &&
                  arg.compare(0, option.size(), option) == 0 && arg[option.size()] == '=';
    if (!joined && arg != option)
        return false;
    *usage = -1;
    if (joined) {
        *value = arg.substr(option.size() + 1);
    } else if (*i + 1 == args.size()) {
        *usage = UsageError(command, option + ": a value is missing");
        return true;
    } else {
        *value = args[++*i];
    }
    if (value->empty() && !emptyTaken)
        *usage = UsageError(command, option + ": the value is empty");
    return true;
}

bool ParseCodePage(const std::string &text, int *codePage, std::string *problem)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        *problem = "--codepage: '" + text + "' is not a code page number";
        return false;
    }
    *codePage = std::atoi(text.c_str());
    std::string why;
    if (IsLauncherCodePage(*codePage, &why))
        return true;
    *problem = "--codepage: " + why;
    return false;
}

int ParseReadOptions(const std::string &command, const Arguments &args, ReadOptions *options)
{
    bool extract = command == "extract";
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &arg = args[i];
        std::string value, problem;
        int usage = -1;
        if (arg == "--show-password" && command == "list") {
            options->showPassword = true;
        } else if (arg == "--force" && extract) {
            options->force = true;
        } else if (OptionValue(command, args, &i, "--codepage", true, &value, &usage)) {
            if (usage >= 0)
                return usage;
            if (!ParseCodePage(value, &options->codePage, &problem))
                return UsageError(command, problem);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(command, "unknown option " + arg);
        } else if (options->path.empty()) {
            options->path = arg;
        } else if (extract && options->directory.empty()) {
            options->directory = arg;
        } else {
            return UsageError(command, extract ? "more than one DIR: " + options->directory + ", " + arg
                                               : "more than one package: " + options->path + ", " + arg);
        }
    }
    if (options->path.empty())
        return UsageError(command, command + ": PKG.exe is missing");
    if (extract && options->directory.empty())
        return UsageError(command, "extract: DIR is missing");
    return -1;
}

#ifndef _WIN32
namespace {

// The entry that extract was writing is incomplete: its temporary goes.
void ShrunkWhileRead(int)
{
    RemovePartialFile();
    static const char text[] = "sfxpack: the package became shorter while it was read\n";
    ssize_t ignored = write(2, text, sizeof text - 1);
    (void)ignored;
    _exit(1);
}

}  // namespace
#endif

int OpenPackageTwice(const std::string &command, const Arguments &args, const char *help, ReadOptions *options,
                     FileSource *file, FileSource *recordFile)
{
    if (PrintHelpIfAsked(args, help))
        return 0;
    int usage = ParseReadOptions(command, args, options);
    if (usage >= 0)
        return usage;
    std::string error;
    if (!file->Open(options->path, &error) || !recordFile->Open(options->path, &error))
        return Fail(error);
#ifndef _WIN32
    std::signal(SIGBUS, ShrunkWhileRead);
#endif
    return -1;
}

}  // namespace sfxpack
