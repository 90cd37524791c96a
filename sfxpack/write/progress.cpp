// The progress line of `sfxpack create`, redrawn in place with a carriage
// return and cut to the terminal's width so that it never wraps.
#include "sfxpack/write/progress.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace sfxpack {

namespace {

using Clock = std::chrono::steady_clock;

bool StandardErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr));
#else
    return isatty(STDERR_FILENO);
#endif
}

size_t TerminalColumns()
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return size_t(info.srWindow.Right - info.srWindow.Left + 1);
#else
    struct winsize size;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

// Columns of UTF-8 text, one per character.
size_t Columns(const std::string &text)
{
    size_t columns = 0;
    for (unsigned char c : text)
        columns += (c & 0xC0) != 0x80;
    return columns;
}

std::string Megabytes(int64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(bytes) / 1e6);
    return text;
}

double Seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

std::string Rate(int64_t bytes, double seconds)
{
    return seconds > 0 ? Megabytes(int64_t(double(bytes) / seconds)) + " MB/s" : "- MB/s";
}

// `head` and as much of `name` as fits before the last column, its start
// replaced by "..." when cut: the end of a path tells most.
void Draw(ProgressLine *line, const std::string &head, const std::string &name)
{
    size_t terminal = TerminalColumns(), room = terminal > 1 ? terminal - 1 : 0;
    std::string text = head;
    if (Columns(head) + Columns(name) <= room) {
        text += name;
    } else if (Columns(head) + 3 < room) {
        size_t keep = room - Columns(head) - 3, start = name.size();
        for (size_t kept = 0; start > 0 && kept < keep;)
            if ((static_cast<unsigned char>(name[--start]) & 0xC0) != 0x80)
                kept++;
        text += "..." + name.substr(start);
    }
    size_t columns = Columns(text);
    if (columns < line->drawnColumns)
        text.append(line->drawnColumns - columns, ' ');
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    line->drawnColumns = columns;
}

}  // namespace

void StartProgress(ProgressLine *line, bool wanted, const std::vector<Entry> &entries)
{
    line->shown = wanted && StandardErrorIsTerminal();
    line->totalEntries = entries.size();
    line->totalBytes = 0;
    for (const Entry &entry : entries)
        line->totalBytes += DataSize(entry);
    line->start = Clock::now();
    line->lastDrawn = line->start - std::chrono::seconds(1);
    line->drawnColumns = 0;
}

void ShowProgress(ProgressLine *line, const Entry &current, size_t entriesDone, int64_t bytesDone)
{
    Clock::time_point now = Clock::now();
    if (!line->shown || now - line->lastDrawn < std::chrono::milliseconds(100))
        return;
    line->lastDrawn = now;
    Draw(line,
         std::to_string(entriesDone) + "/" + std::to_string(line->totalEntries) + " files, " + Megabytes(bytesDone) +
             "/" + Megabytes(line->totalBytes) + " MB, " + Rate(bytesDone, Seconds(now - line->start)) + ": ",
         current.sourcePath);
}

void EndProgress(ProgressLine *line, bool succeeded)
{
    if (!line->shown)
        return;
    if (succeeded) {
        double seconds = Seconds(Clock::now() - line->start);
        char time[32];
        std::snprintf(time, sizeof time, "%.2f", seconds);
        Draw(line,
             std::to_string(line->totalEntries) + " files, " + Megabytes(line->totalBytes) + " MB in " + time +
                 " s, " + Rate(line->totalBytes, seconds),
             "");
        std::fputs("\n", stderr);
    } else if (line->drawnColumns > 0) {
        std::fprintf(stderr, "\r%s\r", std::string(line->drawnColumns, ' ').c_str());
    }
    std::fflush(stderr);
}

}  // namespace sfxpack
