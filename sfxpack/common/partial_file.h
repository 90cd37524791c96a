// The one file being written that the process must not leave behind when a
// signal ends it (SIGINT, SIGTERM, SIGHUP) or the package it maps shrinks
// (SIGBUS): create's temporary package, extract's temporary entry. The file
// is kept as a folder descriptor and a name, so that a signal handler can
// remove it with async-signal-safe calls alone. POSIX only.
#ifndef SFXPACK_COMMON_PARTIAL_FILE_H
#define SFXPACK_COMMON_PARTIAL_FILE_H

namespace sfxpack {

// Holds the ending signals off (true) or lets them in again (false): around
// the making of a file and its noting, so that no signal comes between.
void HoldEndingSignals(bool hold);

// Notes `name` in `folder` (AT_FDCWD for a path) as the partial file, and
// has the ending signals remove it, then end the process as they would have.
// A signal that is ignored (nohup, a background job) stays ignored.
void NotePartialFile(int folder, const char *name);

// Forgets the partial file (kept, renamed or removed by the caller) and puts
// the signals' earlier actions back.
void ForgetPartialFile();

// Removes the partial file, if one is noted; safe in a signal handler.
void RemovePartialFile();

}  // namespace sfxpack

#endif
