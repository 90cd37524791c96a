// Splitting the process command line into the argument vector, by the
// platform's usual rules, independent of whichever C runtime is present.
#ifndef LAUNCHER_ARGUMENTS_H
#define LAUNCHER_ARGUMENTS_H

// Writes the arguments, each NUL-terminated, into `text` (textSize bytes) and
// points `values` at them (at most maxValues, the last slot left null).
// Returns the argument count. Arguments that do not fit are dropped whole.
int SplitCommandLine(const char *commandLine, char *text, int textSize, char **values, int maxValues);

#endif
