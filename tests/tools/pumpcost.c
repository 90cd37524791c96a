/* Measures what the launcher's progress update costs per data block apart
   from the copying, on a hidden window with a child control like the
   progress window: draining the message queue, and UpdateWindow.

   pumpcost N
     prints "peek <us>", "update <us>" and "pump <us>": microseconds per
     update for the drain alone, UpdateWindow alone, and both, over N each. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static HWND window;

static void Drain(void)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

static double Measure(int count, int drain, int update)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; i++) {
        if (drain)
            Drain();
        if (update)
            UpdateWindow(window);
    }
    QueryPerformanceCounter(&end);
    return (double)(end.QuadPart - start.QuadPart) * 1e6 / frequency.QuadPart / count;
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    int count = atoi(argv[1]);
    window = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 80, NULL, NULL, NULL, NULL);
    CreateWindowA("STATIC", "0", WS_CHILD | WS_VISIBLE, 10, 40, 280, 20, window, NULL, NULL, NULL);
    printf("peek %.2f\n", Measure(count, 1, 0));
    printf("update %.2f\n", Measure(count, 0, 1));
    printf("pump %.2f\n", Measure(count, 1, 1));
    DestroyWindow(window);
    return 0;
}
