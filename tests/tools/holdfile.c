/* Holds a file open, the way another program may hold a file that the
   launcher wants: for writing, others allowed to read and write but not to
   delete; or, with -d, for deleting only, others allowed everything, as a
   program about to rename or delete it holds it.

   holdfile [-d] PATH MS
     creates PATH when missing (without -d), prints "held" once it holds
     it, keeps it open for MS milliseconds, then exits.
   Exit code: 0, or 1 when PATH cannot be opened, 2 for bad arguments. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    int deleting = argc == 4 && !strcmp(argv[1], "-d");
    if (argc != 3 + deleting)
        return 2;
    HANDLE file = deleting ? CreateFileA(argv[2], DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)
                           : CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    printf("held\n");
    fflush(stdout);
    Sleep((DWORD)atoi(argv[2 + deleting]));
    CloseHandle(file);
    return 0;
}
