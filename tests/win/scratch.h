// Real folders and files for the Windows tests: a fresh folder per test in
// the Wine temporary directory, removed with everything in it afterwards.
#ifndef TESTS_WIN_SCRATCH_H
#define TESTS_WIN_SCRATCH_H

#include <gtest/gtest.h>
#include <windows.h>
#include <string>

namespace scratch {

inline void RemoveTree(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

// Below the temporary directory as the process found it, named after the
// test, without a trailing backslash. `tag` may carry any ANSI bytes.
inline std::string MakeDir(const std::string &tag)
{
    static std::string root;
    if (root.empty()) {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        root = temp;
    }
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string path = root + tag + "-" + info->name() + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(path);
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path;
    return path;
}

inline bool IsDirectory(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void WriteFile(const std::string &path, const std::string &text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
    CloseHandle(file);
}

// The whole file; empty when it is missing.
inline std::string ReadFile(const std::string &path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got;
    while (::ReadFile(file, buffer, sizeof buffer, &got, NULL) && got)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

// a to z only, as the working directory's base is upper-cased.
inline std::string UpperAscii(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace scratch

#endif
