#include "sfxpack/write/walk.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

#include "package/format.h"

namespace fs = std::filesystem;

namespace sfxpack {

namespace {

struct FileStat {
    int64_t size, modified;
    uint64_t device, inode;
};

bool Stat(const fs::path &path, FileStat *out)
{
#ifdef _WIN32
    struct _stat64 info;
    if (_wstat64(path.wstring().c_str(), &info) != 0)
        return false;
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return false;
#endif
    *out = {info.st_size, info.st_mtime, uint64_t(info.st_dev), uint64_t(info.st_ino)};
    return true;
}

bool Refuse(std::string *error, const std::string &path, const std::string &why)
{
    *error = path + ": " + why;
    return false;
}

// Characters of a UTF-8 text: each takes at least one byte in any code page.
size_t Characters(const std::string &utf8)
{
    size_t count = 0;
    for (unsigned char c : utf8)
        count += (c & 0xC0) != 0x80;
    return count;
}

// A walk through the folder tree; `chain` holds the folders being walked,
// as resolved paths and as the user sees them, to catch followed links that
// lead back into one of them.
struct Walk {
    const WalkRequest *request = nullptr;
    std::vector<std::pair<fs::path, std::string>> chain;
    std::vector<Found> *found = nullptr;
    std::vector<std::string> *warnings = nullptr;
    std::string *error = nullptr;
    FileStat output = {0, 0, 0, 0};  // inode 0: no package there yet
    int64_t packageBytes = 0;  // at least, with the files found so far
    bool full = false;
    int64_t folderVisits = 0;
};

// Why a followed link cannot be stored.
std::string BrokenLink(const std::string &target, const std::error_code &failure)
{
    if (failure == std::errc::no_such_file_or_directory || failure == std::errc::not_a_directory)
        return "a symbolic link to " + target + ", which does not exist";
    if (failure == std::errc::too_many_symbolic_link_levels)
        return "a symbolic link to " + target + ", which leads round in a loop of links";
    return "a symbolic link to " + target + ": " + failure.message();
}

// Adds the file unless it is the package being replaced, and counts it.
bool AddFile(Walk *walk, const fs::path &path, Found file)
{
    FileStat info;
    if (!Stat(path, &info))
        return Refuse(walk->error, file.path, std::string("cannot read its size and time: ") + std::strerror(errno));
    const WalkRequest &request = *walk->request;
    if (walk->output.inode != 0 && info.device == walk->output.device && info.inode == walk->output.inode) {
        walk->warnings->push_back(file.path + ": the package being written (-o); left out");
        return true;
    }
    file.size = info.size;
    file.modified = info.modified;
    if (file.size > 0 || !request.skipEmpty)
        walk->packageBytes += ENTRY_FIXED_BYTES + int64_t(request.prefixBytes + Characters(file.relative)) + file.size;
    walk->full = walk->packageBytes > INT32_MAX;
    walk->found->push_back(std::move(file));
    return true;
}

// Adds the regular files below `folder`, whose resolved path is `real`.
bool WalkFolder(Walk *walk, const fs::path &folder, const fs::path &relative, const fs::path &real)
{
    // Links to the same folders again and again give a tree of few folders
    // but countless paths, each without a file to count.
    if (++walk->folderVisits > WALK_FOLDER_VISITS)
        return Refuse(walk->error, folder.u8string(),
                      "more than " + std::to_string(WALK_FOLDER_VISITS) +
                          " folders walked through; links followed may lead to the same folders again and again");
    std::error_code failure;
    // Read through the resolved path, so that no call resolves again the
    // links on the way down, which makes each visit cost the depth.
    fs::directory_iterator it(real, failure), end;
    for (; !failure && it != end && !walk->full; it.increment(failure)) {
        const fs::path &here = it->path();
        fs::path name = here.filename(), path = folder / name;
        std::string shown = path.u8string();
        fs::file_status status = it->symlink_status(failure);
        if (failure)
            break;
        fs::path resolved = here;
        if (fs::is_symlink(status)) {
            std::string target = fs::read_symlink(here, failure).u8string();
            if (failure)
                break;
            if (!walk->request->followLinks)
                return Refuse(walk->error, shown,
                              "a symbolic link to " + target + "; --follow-links stores what it points to");
            status = fs::status(here, failure);
            if (!failure && fs::is_directory(status))
                resolved = fs::canonical(here, failure);
            if (failure)
                return Refuse(walk->error, shown, BrokenLink(target, failure));
            for (const auto &walked : walk->chain)
                if (walked.first == resolved)
                    return Refuse(walk->error, shown, "a symbolic link to " + target + ", which leads back into " +
                                                          walked.second + ", a loop");
        }
        if (fs::is_directory(status)) {
            walk->chain.emplace_back(resolved, shown);
            bool walked = WalkFolder(walk, path, relative / name, resolved);
            walk->chain.pop_back();
            if (!walked)
                return false;
            continue;
        }
        if (!fs::is_regular_file(status))
            return Refuse(walk->error, shown, "not a regular file or directory");
        Found file;
        file.path = shown;
        file.relative = (relative / name).generic_u8string();
        if (!AddFile(walk, here, std::move(file)))
            return false;
    }
    if (failure)
        return Refuse(walk->error, folder.u8string(), failure.message());
    return true;
}

}  // namespace

bool WalkTree(const WalkRequest &request, std::vector<Found> *found, std::vector<std::string> *warnings,
              std::string *error)
{
    fs::path root = fs::u8path(request.directory);
    std::error_code failure;
    if (!fs::is_directory(root, failure))
        return Refuse(error, request.directory, "not a directory");
    fs::path real = fs::canonical(root, failure);
    if (failure)
        return Refuse(error, request.directory, failure.message());
    Walk walk;
    walk.request = &request;
    walk.chain.emplace_back(real, request.directory);
    walk.found = found;
    walk.warnings = warnings;
    walk.error = error;
    walk.packageBytes = request.payloadOffset;
    // Windows gives no inode numbers: there nothing is taken for the output.
    Stat(fs::u8path(request.outputPath), &walk.output);
    return WalkFolder(&walk, root, fs::path(), real);
}

}  // namespace sfxpack
