/* A stand-in for the launcher in the writer's tests: any Windows program that
   carries the launcher's resources will do, since the writer only looks at
   the resource directory and appends after the file's bytes. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}
