/* Holds a file open for writing, others allowed to read and write but not to
   delete, the way another program may hold a file that the launcher wants.

   holdfile PATH MS
     creates PATH when missing, keeps it open for MS milliseconds, then exits.
   Exit code: 0, or 1 when PATH cannot be opened, 2 for bad arguments. */
#include <windows.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    Sleep((DWORD)atoi(argv[2]));
    CloseHandle(file);
    return 0;
}
