#include "launcher/switches.h"
#include "launcher/globals.h"

static int StartsWith(const char *text, const char *prefix)
{
    while (*prefix)
        if (*text++ != *prefix++)
            return 0;
    return 1;
}

// Copies `value` when it fits in `size` bytes; 0 when it does not.
static int CopyWhole(char *out, const char *value, int size)
{
    if (lstrlenA(value) >= size)
        return 0;
    lstrcpynA(out, value, size);
    return 1;
}

void ReadSwitches(int count, char **values)
{
    for (int i = 1; i < count; i++) {
        const char *arg = values[i];
        // All three tests on every argument; a later one overwrites.
        if (StartsWith(arg, "-p")) {
            // A password that does not fit is kept out rather than cut, and
            // is refused when checked: a cut text could match another password.
            commandLinePasswordTooLong = !CopyWhole(commandLinePassword, arg + 2, PASSWORD_BUFFER_SIZE);
            if (commandLinePasswordTooLong)
                commandLinePassword[0] = '\0';
        }
        if (StartsWith(arg, "-s"))
            silentMode = 1;
        if (StartsWith(arg, "-f2")) {
            // A log path that does not fit means no log, as a joined path
            // that does not fit: neither a cut name nor the default log
            // would be the file the user named.
            logFilePathTooLong = !CopyWhole(logFilePath, arg + 3, PATH_BUFFER_SIZE);
            if (logFilePathTooLong)
                logFilePath[0] = '\0';
        }
    }
}
