// What the commands of sfxpack share: usage errors, failures, the reading of
// option values, and the opening of a package for reading.
#ifndef SFXPACK_CLI_COMMAND_LINE_H
#define SFXPACK_CLI_COMMAND_LINE_H

#include <string>
#include <vector>

#include "sfxpack/read/source.h"

namespace sfxpack {

using Arguments = std::vector<std::string>;

// One line on stderr, "sfxpack: PROBLEM", and where to find help for
// `command` (the overview when it is empty); returns 2, the exit code.
int UsageError(const std::string &command, const std::string &problem);
// One line on stderr, "sfxpack: ERROR"; returns 1.
int Fail(const std::string &error);
// Prints `help` on stdout and returns 0 when `args` asks for it.
bool PrintHelpIfAsked(const Arguments &args, const char *help);

// An option's value, GNU style: "--option=value" (long options) or
// "--option value". When
// `arg` (args[*i]) is `option` with "=value" or alone, `*value` gets the
// value (the next argument is taken, *i moved past it) and `*usage` stays -1,
// or becomes the exit code of a usage error: no value, or an empty one where
// `emptyTaken` is false (a build script's unset variable). False when
// `arg` is not `option`.
bool OptionValue(const std::string &command, const Arguments &args, size_t *i, const std::string &option,
                 bool emptyTaken, std::string *value, int *usage);

// A code page number that IsLauncherCodePage takes; else false, with the
// problem for a usage error.
bool ParseCodePage(const std::string &text, int *codePage, std::string *problem);

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
int ParseReadOptions(const std::string &command, const Arguments &args, ReadOptions *options);

// The opening that verify and extract share: the help when asked for, the
// options of `command`, and the package opened twice, the entries to be read
// through `file` and the integrity record through `recordFile`. Both map
// large entries (FileSource::Stream): a package cut short by someone else
// meanwhile raises SIGBUS. -1 when the command goes on, else its exit code.
int OpenPackageTwice(const std::string &command, const Arguments &args, const char *help, ReadOptions *options,
                     FileSource *file, FileSource *recordFile);

int CreateCommand(const Arguments &args);
int ListCommand(const Arguments &args);
int VerifyCommand(const Arguments &args);
int ExtractCommand(const Arguments &args);
int TextsCommand(const Arguments &args);

}  // namespace sfxpack

#endif
