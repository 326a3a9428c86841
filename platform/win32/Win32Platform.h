// The platform services on Windows: common dialogs, message boxes, the registry, the command
// line and the program's folder. Every text is in the process code page, which the manifest
// sets to UTF-8.
#pragma once

#include <windows.h>

#include "Platform.h"

class Win32Platform : public Platform {
  public:
    // Owner of the dialogs; set once the main window exists.
    HWND owner = nullptr;

    bool ChooseOpenPath(const std::string& title, std::string& path) override;
    bool ChooseSavePath(const std::string& title, const std::string& initialFolder,
                        std::string& path) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageKind kind) override;
    std::string SkyrimDataPath() override;
    std::string FirstArgument() override;
    std::string ProgramFolder() override;
    bool SetCurrentFolder(const std::string& folder) override;
    void Quit(int exitCode) override;
    char PathSeparator() const override { return '\\'; }
};

// The first argument of a command line, split as the shell splits it and converted to the
// process code page with no length limit; empty when there is none.
std::string FirstArgumentOf(const wchar_t* commandLine);

// The "Installed Path" of the game's registry key (in the 32-bit view, where the game
// registers itself), or false when the key or a text value cannot be read.
[[nodiscard]] bool ReadSkyrimInstalledPath(std::string& path);
