// The process-wide state of one run. The launcher has one thread, and every
// one of these lives from start-up to exit; each is written by the part of
// the run named beside it and read by the others.
#ifndef LAUNCHER_GLOBALS_H
#define LAUNCHER_GLOBALS_H

#include <windows.h>

enum {
    TEXT_BUFFER_SIZE = 128,
    PATH_BUFFER_SIZE = 260,
    PASSWORD_BUFFER_SIZE = 40
};

// Start-up and switches.
extern HINSTANCE moduleHandle;
extern int silentMode;
extern char commandLinePassword[PASSWORD_BUFFER_SIZE];
extern int commandLinePasswordTooLong;  // a -p text that did not fit: never matches
extern char logFilePath[PATH_BUFFER_SIZE];
extern int logFilePathTooLong;          // a -f2 text that did not fit: no log
extern int argCount;                    // the argument vector, element 0 the program
extern char **argValues;

// The launcher's own executable, open from the start of the run to its end,
// others denied writes, renames and deletes; every reader of the package reads
// through it. INVALID_HANDLE_VALUE when it could not be opened.
extern HANDLE packageFile;

// Working directory.
extern char workingDir[TEXT_BUFFER_SIZE];
extern int ownsWorkingDir;
extern int removalComplete;             // a complete removal walk has run: later ones do nothing

// Package header values that outlive one header read.
extern char storedPassword[PASSWORD_BUFFER_SIZE];
extern int totalBlocks;

// Progress of the extraction.
extern int blocksDone;
extern int fileStartPercent;
extern int fileEndPercent;
extern int shownPercent;

// Set once the user's session has ended and the extracted files are gone:
// the run then writes nothing more.
extern int sessionEnded;

// Messages, in UTF-16: a translated text is shown whatever the ANSI code page.
extern WCHAR messageText[TEXT_BUFFER_SIZE];
extern WCHAR messageCaption[TEXT_BUFFER_SIZE];

// Windows and drawing objects.
extern HWND progressWindow;
extern HWND progressBar;
extern HBRUSH faceBrush;
extern HBRUSH whiteBrush;
extern HBRUSH navyBrush;
extern HPEN framePens[4];

#endif
