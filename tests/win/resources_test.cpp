// The shipped launcher as a file: a 32-bit GUI executable that imports only
// Windows' own DLLs, small, with its resources exactly as the run uses them.
// It is read as data, so a 64-bit test build checks the 32-bit launcher too.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

std::string LauncherPath()
{
    const char *dir = std::getenv("SFX_SHIP_BUILD_DIR");
    std::string unixPath = std::string(dir ? dir : "build/win") + "/launcher/launcher.exe";
    std::string path = "Z:";
    for (char c : unixPath)
        path += c == '/' ? '\\' : c;
    return path;
}

class Launcher : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::ifstream in(LauncherPath(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        module = LoadLibraryExA(LauncherPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite()
    {
        if (module)
            FreeLibrary(module);
    }
    template <typename T> static const T *At(size_t offset)
    {
        return reinterpret_cast<const T *>(bytes.data() + offset);
    }
    static const IMAGE_NT_HEADERS32 *Headers()
    {
        return At<IMAGE_NT_HEADERS32>(At<IMAGE_DOS_HEADER>(0)->e_lfanew);
    }
    // File offset of a relative virtual address.
    static size_t FileOffset(DWORD rva)
    {
        const IMAGE_NT_HEADERS32 *nt = Headers();
        const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
        for (int i = 0; i < nt->FileHeader.NumberOfSections; i++, section++)
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize)
                return rva - section->VirtualAddress + section->PointerToRawData;
        return 0;
    }
    static std::vector<char> bytes;
    static HMODULE module;
};

std::vector<char> Launcher::bytes;
HMODULE Launcher::module;

TEST_F(Launcher, IsSmallGuiPe32ForI386)
{
    ASSERT_GT(bytes.size(), 1024u);
    // 36 KB is the most it may have, the LZMA decoder (7 KB) included.
    EXPECT_LE(bytes.size(), 36u * 1024);
    const IMAGE_NT_HEADERS32 *nt = Headers();
    EXPECT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_F(Launcher, ImportsOnlyWindowsOwnDlls)
{
    const IMAGE_DATA_DIRECTORY &dir = Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    std::set<std::string> names;
    for (auto *import = At<IMAGE_IMPORT_DESCRIPTOR>(FileOffset(dir.VirtualAddress)); import->Name; import++) {
        std::string name = At<char>(FileOffset(import->Name));
        for (char &c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        names.insert(name);
    }
    EXPECT_EQ(names, (std::set<std::string>{"gdi32.dll", "kernel32.dll", "user32.dll"}));
}

TEST_F(Launcher, StringTable)
{
    ASSERT_NE(module, nullptr);
    const char *expected[] = {
        "Tollivex Self-extracting EXE",
        "Could not find enough disk space for extracting files.",
        "Extract failed: return from extract=%d",
        "WinExec failed: return=%d",
        "Could not create destination file %s.  Error number: %d",
        "Could not open destination file %s",
        "You have entered an incorrect password.",
        "This will install %s. Do you wish to continue?",
        "Could not create the directory %s.",
        "This file is not the correct size or is corrupt, and is unusable.",
    };
    for (UINT id = 1; id <= 10; id++) {
        char text[256] = "";
        LoadStringA(module, id, text, sizeof text);
        EXPECT_STREQ(text, expected[id - 1]) << "string " << id;
    }
    // The strings are US English.
    EXPECT_NE(FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
              nullptr);
}

TEST_F(Launcher, HeaderPlaceholderIs404Bytes)
{
    HRSRC found = FindResourceA(module, "MYRESOURCE", "#1024");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(module, found), 404u);
}

// Reads a classic dialog template.
struct Control {
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::string className;
    std::string text;
    int iconId;
};
struct Dialog {
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::string className, caption, font;
    WORD pointSize;
    std::vector<Control> controls;
};

std::string ReadSz(const WORD *&p)
{
    std::string s;
    while (*p)
        s += static_cast<char>(*p++);
    p++;
    return s;
}

// A name or ordinal field: 0, 0xFFFF + ordinal, or a string.
std::string ReadNameOrOrdinal(const WORD *&p, int *ordinal)
{
    *ordinal = -1;
    if (*p == 0xFFFF) {
        *ordinal = p[1];
        p += 2;
        return "";
    }
    return ReadSz(p);
}

Dialog ReadDialog(HMODULE module, int id)
{
    Dialog d = {};
    HRSRC found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found)
        return d;
    auto *t = static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(module, found)));
    d.style = t->style;
    d.exStyle = t->dwExtendedStyle;
    d.x = t->x, d.y = t->y, d.cx = t->cx, d.cy = t->cy;
    const WORD *p = reinterpret_cast<const WORD *>(t + 1);
    int ordinal;
    ReadNameOrOrdinal(p, &ordinal);  // menu
    d.className = ReadNameOrOrdinal(p, &ordinal);
    d.caption = ReadSz(p);
    if (d.style & DS_SETFONT) {
        d.pointSize = *p++;
        d.font = ReadSz(p);
    }
    for (int i = 0; i < t->cdit; i++) {
        p = reinterpret_cast<const WORD *>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
        auto *item = reinterpret_cast<const DLGITEMTEMPLATE *>(p);
        Control c = {};
        c.style = item->style;
        c.x = item->x, c.y = item->y, c.cx = item->cx, c.cy = item->cy;
        c.id = static_cast<short>(item->id);
        p = reinterpret_cast<const WORD *>(item + 1);
        int classOrdinal;
        c.className = ReadNameOrOrdinal(p, &classOrdinal);
        if (classOrdinal == 0x80)
            c.className = "button";
        else if (classOrdinal == 0x81)
            c.className = "edit";
        else if (classOrdinal == 0x82)
            c.className = "static";
        for (char &ch : c.className)
            ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        c.text = ReadNameOrOrdinal(p, &c.iconId);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD *>(reinterpret_cast<const char *>(p) + extra);
        d.controls.push_back(c);
    }
    return d;
}

TEST_F(Launcher, ProgressDialog)
{
    Dialog d = ReadDialog(module, IDD_PROGRESS);
    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 199);
    EXPECT_EQ(d.cy, 65);
    EXPECT_EQ(d.className, "Progress");
    EXPECT_EQ(d.caption, "Tollivex Self-extracting Exe");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.font, "MS Sans Serif");
    ASSERT_EQ(d.controls.size(), 3u);

    const Control &status = d.controls[0];
    EXPECT_EQ(status.id, IDC_STATUSTEXT);
    EXPECT_EQ(status.className, "static");
    EXPECT_EQ(status.text, "Please wait while Tollivex extracts the files which will install this application");
    EXPECT_EQ(status.style, DWORD(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT));
    EXPECT_EQ((std::vector<short>{status.x, status.y, status.cx, status.cy}), (std::vector<short>{39, 12, 157, 25}));

    const Control &icon = d.controls[1];
    EXPECT_EQ(icon.id, -1);
    EXPECT_EQ(icon.className, "static");
    EXPECT_EQ(icon.iconId, IDI_PACKAGE);
    EXPECT_EQ(icon.style, DWORD(WS_CHILD | WS_VISIBLE | SS_ICON));
    EXPECT_EQ((std::vector<short>{icon.x, icon.y, icon.cx, icon.cy}), (std::vector<short>{9, 13, 18, 20}));

    const Control &bar = d.controls[2];
    EXPECT_EQ(bar.id, IDC_PROGRESSBAR);
    EXPECT_EQ(bar.className, "button");
    EXPECT_EQ(bar.text, "0");
    EXPECT_EQ(bar.style, DWORD(WS_CHILD | WS_VISIBLE | BS_OWNERDRAW));
    EXPECT_EQ((std::vector<short>{bar.x, bar.y, bar.cx, bar.cy}), (std::vector<short>{39, 43, 146, 14}));
}

TEST_F(Launcher, PasswordDialog)
{
    Dialog d = ReadDialog(module, IDD_PASSWORD);
    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.cx, 225);
    EXPECT_EQ(d.cy, 72);
    EXPECT_EQ(d.className, "");
    EXPECT_EQ(d.caption, "Tollivex Self-extracting Exe");
    EXPECT_EQ(d.font, "MS Sans Serif");
    ASSERT_EQ(d.controls.size(), 4u);

    EXPECT_EQ(d.controls[0].id, IDC_STATUSTEXT);
    EXPECT_EQ(d.controls[0].text, "Please enter the password required to extract the attached files.");
    EXPECT_EQ(d.controls[0].style, DWORD(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT));
    EXPECT_EQ((std::vector<short>{d.controls[0].x, d.controls[0].y, d.controls[0].cx, d.controls[0].cy}),
              (std::vector<short>{39, 12, 169, 19}));

    EXPECT_EQ(d.controls[1].iconId, IDI_PACKAGE);
    EXPECT_EQ(d.controls[1].style, DWORD(WS_CHILD | WS_VISIBLE | SS_ICON));
    EXPECT_EQ((std::vector<short>{d.controls[1].x, d.controls[1].y, d.controls[1].cx, d.controls[1].cy}),
              (std::vector<short>{9, 13, 21, 20}));

    const Control &edit = d.controls[2];
    EXPECT_EQ(edit.id, IDC_PASSWORD);
    EXPECT_EQ(edit.className, "edit");
    EXPECT_EQ(edit.text, "");
    // Shown as typed: no ES_PASSWORD.
    EXPECT_EQ(edit.style, DWORD(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT));
    EXPECT_EQ((std::vector<short>{edit.x, edit.y, edit.cx, edit.cy}), (std::vector<short>{39, 33, 169, 13}));

    const Control &ok = d.controls[3];
    EXPECT_EQ(ok.id, IDOK);
    EXPECT_EQ(ok.className, "button");
    EXPECT_EQ(ok.text, "OK");
    EXPECT_EQ(ok.style, DWORD(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON));
    EXPECT_EQ((std::vector<short>{ok.x, ok.y, ok.cx, ok.cy}), (std::vector<short>{87, 53, 50, 14}));
}

// The images of an icon group: (width, colour count) pairs.
std::vector<std::pair<int, int>> IconImages(HMODULE module, int id)
{
    std::vector<std::pair<int, int>> out;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_GROUP_ICON);
    if (!found)
        return out;
    auto *p = static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
    int count = *reinterpret_cast<const WORD *>(p + 4);
    for (int i = 0; i < count; i++) {
        const BYTE *entry = p + 6 + 14 * i;
        out.push_back({entry[0], entry[2]});
    }
    return out;
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param)
{
    *reinterpret_cast<LPSTR *>(param) = name;
    return FALSE;
}

TEST_F(Launcher, IconGroups)
{
    EXPECT_EQ(IconImages(module, IDI_PROGRAM), (std::vector<std::pair<int, int>>{{32, 16}, {16, 16}}));
    EXPECT_EQ(IconImages(module, IDI_PACKAGE), (std::vector<std::pair<int, int>>{{32, 16}}));
    // The shell shows the first icon group: the program's.
    LPSTR first = NULL;
    EnumResourceNamesA(module, RT_GROUP_ICON, TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first), uintptr_t(IDI_PROGRAM));
}

}  // namespace
