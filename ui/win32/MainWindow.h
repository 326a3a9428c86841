// Pellmar's window: a fixed-size frame with the shader-assignment list, the shader combo box
// and four buttons. It only translates window messages into the application logic and
// mirrors the logic's rows in its controls.
#pragma once

#include <windows.h>

#include "Application.h"

// Control ids.
enum : int {
    kListId = 500,
    kComboId = 501,
    kCancelId = 502,
    kCleanId = 503,
    kTestId = 504,
    kToBlenderId = 505,
};

class MainWindow {
  public:
    HWND window = nullptr;
    HWND list = nullptr;
    HWND combo = nullptr;
    HWND cancelButton = nullptr;
    HWND cleanButton = nullptr;
    HWND testButton = nullptr;
    HWND toBlenderButton = nullptr;
    HFONT font = nullptr;
    AppState state;

    explicit MainWindow(Platform& platform) : state(platform) {}
    ~MainWindow();

    // Rewrites a row's three cells from the logic.
    void MirrorRow(size_t row);

    LRESULT Procedure(UINT message, WPARAM wParam, LPARAM lParam);
    void onListNotify(const NMHDR& header);
};

// Registers the class, creates the window, its font and controls, runs start-up and shows
// the window; nullptr when the window cannot be created. The one window of the process.
MainWindow* CreateMainWindow(HINSTANCE instance, Platform& platform, int showCommand);
// Destroys the window created by CreateMainWindow.
void DestroyMainWindow();
// The message loop with the accelerators; returns the quit message's exit code.
[[nodiscard]] int RunMessageLoop(HINSTANCE instance);
