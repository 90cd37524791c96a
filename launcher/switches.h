// Reading -p, -s and -f2 from the argument vector.
#ifndef LAUNCHER_SWITCHES_H
#define LAUNCHER_SWITCHES_H

void ReadSwitches(int count, char **values);

#endif
