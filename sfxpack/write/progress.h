// The one updating line that `sfxpack create` shows on a terminal while it
// writes a package: files and bytes done, the rate, the file being packed.
#ifndef SFXPACK_PROGRESS_H
#define SFXPACK_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "sfxpack/write/package.h"

namespace sfxpack {

struct ProgressLine {
    bool shown = false;  // standard error is a terminal and the line is wanted
    size_t totalEntries = 0;
    int64_t totalBytes = 0;
    std::chrono::steady_clock::time_point start, lastDrawn;
    size_t drawnColumns = 0;  // of the line on screen, to blank what a shorter one leaves
};

// Shows nothing unless `wanted` and standard error is a terminal.
void StartProgress(ProgressLine *line, bool wanted, const std::vector<Entry> &entries);
// Redraws the line at most ten times a second.
void ShowProgress(ProgressLine *line, const Entry &current, size_t entriesDone, int64_t bytesDone);
// Leaves a summary line after success; after a failure it blanks the line, so
// that the error that follows stands alone.
void EndProgress(ProgressLine *line, bool succeeded);

}  // namespace sfxpack

#endif
