// pellmar.exe: the window of Pellmar.
#include <windows.h>

#include "MainWindow.h"
#include "Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    Win32Platform platform;
    if (!CreateMainWindow(instance, platform, showCommand)) return 0;
    const int exitCode = RunMessageLoop(instance);
    DestroyMainWindow();
    return exitCode;
}
