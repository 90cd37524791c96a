/* A test tool's own top-level window, of a class of its own. */
#ifndef TESTS_TOOLS_TOOL_WINDOW_H
#define TESTS_TOOLS_TOOL_WINDOW_H

#include <windows.h>

/* Registers `className` with `procedure` and makes a `size` by `size` window
   of it at the screen's origin; NULL when it cannot be made. */
static inline HWND CreateToolWindow(const char *className, const char *title, WNDPROC procedure, DWORD style,
                                    int size)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowA(className, title, style, 0, 0, size, size, NULL, NULL, windowClass.hInstance, NULL);
}

#endif
