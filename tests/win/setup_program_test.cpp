// The setup program's command line, the choice of the program file, and the
// start and waits, with the stand-in programs from tests/tools.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "launcher/elevated_start.h"
#include "launcher/globals.h"
#include "launcher/setup_program.h"
#include "tests/win/scratch.h"

namespace {

std::vector<std::string> argumentStore;
std::vector<char *> argumentPointers;

void SetArguments(const std::vector<std::string> &arguments)
{
    argumentStore = arguments;
    argumentStore.insert(argumentStore.begin(), "C:\\pkg\\package.exe");
    argumentPointers.clear();
    for (auto &a : argumentStore)
        argumentPointers.push_back(&a[0]);
    argumentPointers.push_back(nullptr);
    argCount = static_cast<int>(argumentStore.size());
    argValues = argumentPointers.data();
}

void SetWorkingDir(const std::string &dir)
{
    lstrcpynA(workingDir, dir.c_str(), sizeof workingDir);
}

std::string Build(const char *setupCommand, UINT codePage = CP_ACP)
{
    char out[SETUP_COMMAND_LINE_SIZE] = "unchanged";
    int fits = BuildSetupCommandLine(setupCommand, out, sizeof out, codePage);
    return fits ? std::string(out) : "refused:" + std::string(out);
}

std::string ToolsDir()
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string path = self;
    return path.substr(0, path.rfind('\\')) + "\\..\\tools\\";
}

// Sharing writes: a recorder that still runs may append to its record.
std::string ReadText(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string text(GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, NULL);
    CloseHandle(file);
    return text.substr(0, read);
}

// The values of the "key=" lines of a recorder's record.
std::vector<std::string> Fields(const std::string &record, const std::string &key)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < record.size()) {
        size_t end = record.find('\n', at);
        std::string line = record.substr(at, end - at);
        if (line.compare(0, key.size() + 1, key + "=") == 0)
            out.push_back(line.substr(key.size() + 1));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return out;
}

// The value of the first "key=" line of a recorder's record, or "<none>".
std::string Field(const std::string &record, const std::string &key)
{
    std::vector<std::string> all = Fields(record, key);
    return all.empty() ? "<none>" : all[0];
}

// SpawnAndWait, the program's exit code left out: the recorder's own 0.
DWORD Spawn(const char *programPath, const char *commandLine, HWND window)
{
    DWORD exitCode = 1;
    int ended = 0;
    DWORD result = SpawnAndWait(programPath, commandLine, "", window, &exitCode, &ended);
    EXPECT_EQ(exitCode, result == 0 ? 0u : 1u);
    EXPECT_EQ(ended, 1);
    return result;
}

// A fresh folder below the temporary directory, with `records` for the
// recorder's output and `work` standing in for the working directory.
class Folders : public testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        for (int i = 0;; i++) {
            root = std::string(temp) + "spawn" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(i);
            if (CreateDirectoryA(root.c_str(), NULL))
                break;
        }
        records = root + "\\records";
        work = root + "\\work\\";
        CreateDirectoryA(records.c_str(), NULL);
        CreateDirectoryA(work.c_str(), NULL);
        SetEnvironmentVariableA("RECORDER_DIR", records.c_str());
        SetEnvironmentVariableA("RECORDER_SLEEP", NULL);
        SetEnvironmentVariableA("RECORDER_TVDELETE", NULL);
        SetEnvironmentVariableA("RECORDER_EXIT", NULL);
        SetWorkingDir(work);
        SetArguments({});
    }
    void TearDown() override { scratch::RemoveTree(root); }

    void PlaceRecorder(const std::string &path)
    {
        ASSERT_TRUE(CopyFileA((ToolsDir() + "recorder.exe").c_str(), path.c_str(), FALSE)) << path;
    }

    std::string root, records, work;
};

}  // namespace

TEST(BuildSetupCommandLine, OrderOfThePieces)
{
    SetWorkingDir("D:\\TEMP\\~EXB0000\\");
    SetArguments({"-s", "-pSecret", "/q"});
    EXPECT_EQ(Build("Setup.exe /z"), "D:\\TEMP\\~EXB0000\\Setup.exe -s /q /z -sms");

    // No blank: the whole command is the program, nothing follows the arguments.
    SetArguments({"-s"});
    EXPECT_EQ(Build("install.exe"), "D:\\TEMP\\~EXB0000\\install.exe -s");
    // A leading blank: no program part, the whole command is the rest, and
    // only the first blank splits.
    EXPECT_EQ(Build(" install.exe /q  x\ty"), "D:\\TEMP\\~EXB0000\\ -s install.exe /q  x\ty");
    // A tab does not split.
    EXPECT_EQ(Build("a.exe\t/q"), "D:\\TEMP\\~EXB0000\\a.exe\t/q -s");
    SetArguments({});
    EXPECT_EQ(Build("install.exe /q"), "D:\\TEMP\\~EXB0000\\install.exe /q");
}

TEST(BuildSetupCommandLine, PassedArguments)
{
    SetWorkingDir("C:\\W\\");
    // Only a leading "-p" keeps an argument back; a blank-holding argument
    // goes on without quotes, an empty one as a lone blank.
    SetArguments({"-p", "-pX", "-P", "-Pword", "a b", "-f2c:\\my log.txt", "-sms", "p-", "-", "", "x-p", "\"q\""});
    EXPECT_EQ(Build("i.exe /r"), "C:\\W\\i.exe -P -Pword a b -f2c:\\my log.txt -sms p- -  x-p \"q\" /r");
}

TEST(BuildSetupCommandLine, SmsWhenTheCommandNamesSetup)
{
    SetWorkingDir("C:\\W\\");
    SetArguments({});
    struct Case {
        const char *command;
        bool sms;
    } cases[] = {
        {"install.exe /setup", true}, {"install.exe /q", false}, {"Setup.exe", true},    {"SETUP.EXE", true},
        {"mysetup.exe", true},        {"sEtUp", true},          {"set up.exe", false}, {"setu.exe /p", false},
        {"x.exe SETUPX", true},       {"", false},
    };
    for (const Case &c : cases) {
        std::string expected = std::string("C:\\W\\") + c.command + (c.sms ? " -sms" : "");
        EXPECT_EQ(Build(c.command), expected) << c.command;
    }
}

TEST(BuildSetupCommandLine, SetupNeverMatchedFromATrailByte)
{
    SetWorkingDir("C:\\W\\");
    SetArguments({});
    // In code page 932, 0x83 0x73 is one character whose trail byte is 's'.
    EXPECT_EQ(Build("\x83\x73" "etup.exe", 932), "C:\\W\\\x83\x73" "etup.exe");
    EXPECT_EQ(Build("\x83\x73" "setup.exe", 932), "C:\\W\\\x83\x73" "setup.exe -sms");
    // In a single-byte code page the same bytes are two characters.
    EXPECT_EQ(Build("\x83\x73" "etup.exe", 1252), "C:\\W\\\x83\x73" "etup.exe -sms");
}

TEST(BuildSetupCommandLine, LongLinesUpTo259Characters)
{
    std::string dir = "C:\\" + std::string(96, 'd') + "\\";  // 100 characters
    SetWorkingDir(dir);
    // 100 + "x.exe" + blank + argument: 259 characters at most.
    SetArguments({std::string(153, 'a')});
    std::string line = Build("x.exe");
    EXPECT_EQ(line, dir + "x.exe " + std::string(153, 'a'));
    EXPECT_EQ(line.size(), 259u);
    SetArguments({std::string(154, 'a')});
    EXPECT_EQ(Build("x.exe"), "refused:");
    // " -sms" counts too.
    SetArguments({std::string(148, 'a')});
    EXPECT_EQ(Build("setup").size(), 259u);
    SetArguments({std::string(149, 'a')});
    EXPECT_EQ(Build("setup"), "refused:");
    // Many short arguments: refused as soon as one does not fit.
    SetArguments(std::vector<std::string>(100, "/q"));
    EXPECT_EQ(Build("x.exe"), "refused:");
}

TEST_F(Folders, ProgramFileAsTheUnquotedSearchWouldTakeIt)
{
    char out[PATH_BUFFER_SIZE];
    auto find = [&](const char *command) {
        EXPECT_EQ(FindSetupProgram(command, out, sizeof out), 1);
        std::string path = out;
        return path.compare(0, work.size(), work) == 0 ? path.substr(work.size()) : "outside:" + path;
    };
    // Nothing exists: the name as it stands, so that the start fails on it.
    EXPECT_EQ(find("Setup /z"), "Setup");
    EXPECT_EQ(find("Setup.exe /z"), "Setup.exe");
    EXPECT_EQ(find(" Setup.exe"), "");

    scratch::WriteFile(work + "Setup", "x");
    EXPECT_EQ(find("Setup /z"), "Setup");
    scratch::WriteFile(work + "Setup.exe", "x");
    EXPECT_EQ(find("Setup /z"), "Setup.exe");
    DeleteFileA((work + "Setup").c_str());
    EXPECT_EQ(find("Setup"), "Setup.exe");
    // A name ending in a dot has an extension; one with a dot only in a
    // directory has none.
    EXPECT_EQ(find("Setup."), "Setup.");
    CreateDirectoryA((work + "sub.d").c_str(), NULL);
    scratch::WriteFile(work + "sub.d\\inst.exe", "x");
    EXPECT_EQ(find("sub.d\\inst -q"), "sub.d\\inst.exe");
    // A directory is not the program.
    CreateDirectoryA((work + "tool.exe").c_str(), NULL);
    EXPECT_EQ(find("tool"), "tool");
}

TEST_F(Folders, StartRecordsTheExactLineAndTheLaunchersDirectory)
{
    PlaceRecorder(work + "Setup.exe");
    scratch::WriteFile(work + "data.bin", "d");
    SetCurrentDirectoryA(records.c_str());
    std::string line = work + "Setup.exe -s  a b \"c d\"";
    EXPECT_EQ(Spawn((work + "Setup.exe").c_str(), line.c_str(), NULL), 0u);

    std::string record = ReadText(records + "\\Setup.txt");
    EXPECT_EQ(Field(record, "command"), line);
    EXPECT_EQ(Field(record, "cwd"), records);
    EXPECT_EQ(Field(record, "show"), "1 5");  // STARTF_USESHOWWINDOW only, SW_SHOW
    EXPECT_EQ(Fields(record, "file"), (std::vector<std::string>{"data.bin", "Setup.exe"}));
    EXPECT_EQ(Field(record, "done"), "<none>");  // "done" has no value
    EXPECT_NE(record.find("\ndone\n"), std::string::npos);
}

TEST_F(Folders, ElevatedStartGetsTheParametersAndTheLaunchersDirectory)
{
    // The start that follows ERROR_ELEVATION_REQUIRED, through the shell's
    // "runas" verb: Wine runs every program with full rights, so the prompt
    // itself is never seen here.
    std::string spaced = root + "\\my temp\\";
    CreateDirectoryA(spaced.c_str(), NULL);
    PlaceRecorder(spaced + "Setup.exe");
    SetCurrentDirectoryA(records.c_str());
    SetEnvironmentVariableA("RECORDER_EXIT", "3010");
    HANDLE process = NULL;
    ASSERT_EQ(StartElevated((spaced + "Setup.exe").c_str(), "-s  a \"b c\" /z -sms", &process), 0u);
    ASSERT_NE(process, nullptr);
    // COM is initialised on this thread, apartment-threaded, as the shell
    // asks, by ole32 from the system directory: a second initialisation in
    // that mode only counts (S_FALSE), and is undone.
    HMODULE ole = GetModuleHandleA("ole32.dll");
    ASSERT_NE(ole, nullptr);
    char olePath[MAX_PATH];
    char systemDir[MAX_PATH];
    GetModuleFileNameA(ole, olePath, sizeof olePath);
    GetSystemDirectoryA(systemDir, sizeof systemDir);
    EXPECT_EQ(lstrcmpiA(olePath, (std::string(systemDir) + "\\ole32.dll").c_str()), 0) << olePath;
    FARPROC initialize = GetProcAddress(ole, "CoInitializeEx");
    FARPROC uninitialize = GetProcAddress(ole, "CoUninitialize");
    ASSERT_TRUE(initialize && uninitialize);
    EXPECT_EQ(reinterpret_cast<HRESULT(WINAPI *)(void *, DWORD)>(reinterpret_cast<void (*)()>(initialize))(
                  NULL, COINIT_APARTMENTTHREADED),
              S_FALSE);
    reinterpret_cast<void(WINAPI *)()>(reinterpret_cast<void (*)()>(uninitialize))();
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &exitCode));
    EXPECT_EQ(exitCode, 3010u);
    CloseHandle(process);

    std::string record = ReadText(records + "\\Setup.txt");
    EXPECT_EQ(Field(record, "command"), "\"" + spaced + "Setup.exe\" -s  a \"b c\" /z -sms");
    EXPECT_EQ(Field(record, "cwd"), records);
    EXPECT_EQ(StartElevated((spaced + "nothere.exe").c_str(), "", &process), 2u);
}

TEST_F(Folders, BlankInTheWorkingDirectoryNeverStartsAnotherProgram)
{
    std::string spaced = root + "\\my temp\\";
    CreateDirectoryA(spaced.c_str(), NULL);
    PlaceRecorder(spaced + "Setup.exe");
    PlaceRecorder(root + "\\my.exe");
    std::string line = spaced + "Setup.exe /q";

    // The platform's own search of the unquoted line takes the decoy.
    std::string probe = line;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(NULL, &probe[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_NE(ReadText(records + "\\my.txt"), "");
    DeleteFileA((records + "\\my.txt").c_str());

    EXPECT_EQ(Spawn((spaced + "Setup.exe").c_str(), line.c_str(), NULL), 0u);
    EXPECT_EQ(Field(ReadText(records + "\\Setup.txt"), "command"), line);
    EXPECT_EQ(ReadText(records + "\\my.txt"), "");
}

TEST_F(Folders, FailedStartKeepsTheWindowAndGivesTheErrorCode)
{
    HWND window = CreateWindowA("STATIC", "w", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(Spawn((work + "nothere.exe").c_str(), (work + "nothere.exe /q").c_str(), window), 2u);
    // An empty program part leaves the working directory as the program.
    EXPECT_EQ(Spawn(work.c_str(), (work + " /q").c_str(), window), 2u);
    EXPECT_TRUE(IsWindowVisible(window));

    PlaceRecorder(work + "Setup.exe");
    EXPECT_EQ(Spawn((work + "Setup.exe").c_str(), (work + "Setup.exe").c_str(), window), 0u);
    EXPECT_FALSE(IsWindowVisible(window));
    DestroyWindow(window);
}

namespace {
int timerTicks;
LRESULT CALLBACK CountTicks(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER)
        timerTicks++;
    return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

TEST_F(Folders, WaitsForTheProgramWhileHandlingMessages)
{
    PlaceRecorder(work + "Setup.exe");
    scratch::WriteFile(work + "data.bin", "d");
    SetEnvironmentVariableA("RECORDER_SLEEP", "700");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountTicks;
    windowClass.lpszClassName = "SpawnTicks";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("SpawnTicks", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    SetTimer(window, 1, 50, NULL);
    timerTicks = 0;
    DWORD handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);

    DWORD start = GetTickCount();
    EXPECT_EQ(Spawn((work + "Setup.exe").c_str(), (work + "Setup.exe").c_str(), NULL), 0u);
    DWORD took = GetTickCount() - start;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    KillTimer(window, 1);
    DestroyWindow(window);

    std::string record = ReadText(records + "\\Setup.txt");
    EXPECT_GE(took, 700u);
    // The program still saw every file after its sleep.
    EXPECT_EQ(Fields(record, "after"), Fields(record, "file"));
    // A pending timer message appears only when the queue is read, one at a
    // time: the queue was drained between the 200 ms waits, not just once
    // before them.
    EXPECT_GE(timerTicks, 2);
    // Thread and process handles are closed.
    EXPECT_EQ(handlesAfter, handlesBefore);
}

namespace {
std::vector<DWORD> deliveryDelays;
LRESULT CALLBACK TimeDelivery(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        deliveryDelays.push_back(GetTickCount() - static_cast<DWORD>(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

// Processor time of this process so far, in milliseconds.
ULONGLONG ProcessorMs()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (k.QuadPart + u.QuadPart) / 10000;
}
}  // namespace

TEST_F(Folders, WaitsForEveryTvdeleteWindow)
{
    // A window that exists before the start is waited for just the same.
    std::string command = "\"" + ToolsDir() + "tvdelete.exe\" 1500";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    CloseHandle(process.hThread);
    DWORD start = GetTickCount();
    while (!FindWindowA("tvdelete", NULL) && GetTickCount() - start < 10000)
        Sleep(5);
    ASSERT_TRUE(FindWindowA("tvdelete", NULL));
    DWORD found = GetTickCount();

    // Once the setup program has ended, messages are posted to this thread
    // while the window stays: each is handled as it comes, not at the next
    // look for the window.
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TimeDelivery;
    windowClass.lpszClassName = "SpawnDelivery";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("SpawnDelivery", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    deliveryDelays.clear();
    std::string record = records + "\\Setup.txt";
    std::thread poster([&] {
        for (DWORD begun = GetTickCount(); ReadText(record).find("\ndone\n") == std::string::npos; Sleep(5))
            if (GetTickCount() - begun > 10000)
                return;
        Sleep(150);
        for (int i = 0; i < 5; i++) {
            PostMessageA(window, WM_APP, GetTickCount(), 0);
            Sleep(70);
        }
    });

    PlaceRecorder(work + "Setup.exe");
    ULONGLONG processorBefore = ProcessorMs();
    EXPECT_EQ(Spawn((work + "Setup.exe").c_str(), (work + "Setup.exe").c_str(), NULL), 0u);
    ULONGLONG processor = ProcessorMs() - processorBefore;
    DWORD took = GetTickCount() - found;
    poster.join();
    DestroyWindow(window);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    EXPECT_EQ(FindWindowA("tvdelete", NULL), nullptr);
    EXPECT_GE(took, 1300u);
    // Looking again and again without a pause took 400 to 800 ms of a
    // processor here; a pause of its own would leave messages waiting for up
    // to 100 ms, about 50 in the middle.
    EXPECT_LT(processor, 150u);
    ASSERT_GE(deliveryDelays.size(), 3u);
    std::sort(deliveryDelays.begin(), deliveryDelays.end());
    EXPECT_LT(deliveryDelays[deliveryDelays.size() / 2], 30u);
}

TEST_F(Folders, NothingStartsAfterTheSessionEnded)
{
    PlaceRecorder(work + "Setup.exe");
    sessionEnded = 1;
    RunSetupProgram("Setup.exe");
    sessionEnded = 0;
    EXPECT_EQ(ReadText(records + "\\Setup.txt"), "");
}
