// `sfxpack create`: a package from a folder on the build machine.
#ifndef SFXPACK_WRITE_CREATE_H
#define SFXPACK_WRITE_CREATE_H

#include <string>
#include <vector>

#include "sfxpack/write/package.h"

namespace sfxpack {

// Bytes of a launcher path left for the working directory once a name's
// relative path is appended; fewer than this draws a warning.
enum { WORKING_DIR_RESERVE = 64 };

// What `sfxpack create` is given; paths and texts in UTF-8.
struct CreateOptions {
    std::string directory;
    std::string outputPath;
    std::string stubPath;
    std::string setupCommand;
    std::string productTitle;
    std::string password;
    std::string sourcePrefix;  // a backslash is appended when it lacks one
    int codePage = 1252;
    bool integrityRecord = true;
    // The launcher's exit code tells how the run ended.
    bool exitCodes = false;
    // Compress the entries; the record is then always written.
    bool compress = false;
    // Store what symbolic links point to instead of refusing them.
    bool followLinks = false;
    // Leave empty files out, with a warning each, instead of refusing them.
    bool skipEmpty = false;
    // No progress line, even on a terminal.
    bool quiet = false;
    // Resources of the package's own; with none of them the launcher's are
    // kept as they are. An icon file (.ico or .png) for both icon groups.
    std::string iconPath;
    // Version information: "1" to "1.2.3.4" each, and KEY, VALUE strings.
    std::string fileVersion, productVersion;
    std::vector<std::pair<std::string, std::string>> versionStrings;
    // The manifest: one made for an execution level, or the user's own file.
    std::string executionLevel;
    std::string manifestPath;
    // The caption of every message box and window, in every language.
    std::string caption;
    // Translations (.po files) of the launcher's texts.
    std::vector<std::string> languagePaths;
};

// Collects every regular file below `options.directory` into `entries`
// (data left on disk: `sourcePath` and `sourceSize`), sorted by stored name
// bytes, each name `ansiPrefix` plus the relative path with backslashes,
// converted to `options.codePage`. Refuses, naming the file, everything the
// launcher could not extract; the entries will start at `payloadOffset`,
// which counts towards the 2 GiB package limit. Warnings (long relative
// paths, skipped empty files, the package at `options.outputPath` found in
// the folder and left out) are appended to `warnings`.
bool CollectEntries(const CreateOptions &options, const std::string &ansiPrefix, int64_t payloadOffset,
                    std::vector<Entry> *entries, std::vector<std::string> *warnings, std::string *error);

// Rebuilds `*stub` with the resources that `options` asks for and sets
// `*rebuilt`; with no such option leaves it as it is. When any version
// option is given, FileDescription and ProductName default to the title,
// OriginalFilename to the output's file name, FileVersion and
// ProductVersion to the numbers given, and a missing one of those to the
// other; strings given win over the defaults.
bool ApplyResourceOptions(const CreateOptions &options, Bytes *stub, bool *rebuilt, std::string *error);

// Converts and checks the texts, checks the stub's placeholder, collects the
// directory and writes the package atomically, showing progress on a
// terminal. Nothing is left at `outputPath` on failure.
bool CreatePackage(const CreateOptions &options, std::vector<std::string> *warnings, std::string *error);

}  // namespace sfxpack

#endif
