#include "launcher/globals.h"

HINSTANCE moduleHandle;
int silentMode;
char commandLinePassword[PASSWORD_BUFFER_SIZE];
int commandLinePasswordTooLong;
char logFilePath[PATH_BUFFER_SIZE];
int logFilePathTooLong;
int argCount;
char **argValues;

HANDLE packageFile;

char workingDir[TEXT_BUFFER_SIZE];
int ownsWorkingDir;
int removalComplete;

char storedPassword[PASSWORD_BUFFER_SIZE];
int totalBlocks;

int blocksDone;
int fileStartPercent;
int fileEndPercent;
int shownPercent;

int sessionEnded;

WCHAR messageText[TEXT_BUFFER_SIZE];
WCHAR messageCaption[TEXT_BUFFER_SIZE];

HWND progressWindow;
HWND progressBar;
HBRUSH faceBrush;
HBRUSH whiteBrush;
HBRUSH navyBrush;
HPEN framePens[4];
