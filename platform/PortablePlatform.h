// Platform services without a window system: paths come from the caller, messages go to a
// stream, and the game's data folder is looked up in Steam's usual places.
#pragma once

#include <ostream>
#include <string>

#include "Platform.h"

class PortablePlatform : public Platform {
  public:
    explicit PortablePlatform(std::ostream& messages, std::string firstArgument = {},
                              std::string programPath = {});

    // The answers the two choosers give; empty means cancelled.
    std::string openPath;
    std::string savePath;
    // Set by Quit.
    bool quitRequested = false;
    int exitCode = 0;

    bool ChooseOpenPath(const std::string& title, std::string& path) override;
    bool ChooseSavePath(const std::string& title, const std::string& initialFolder,
                        std::string& path) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageKind kind) override;
    std::string SkyrimDataPath() override;
    std::string FirstArgument() override { return firstArgument_; }
    std::string ProgramFolder() override;
    bool SetCurrentFolder(const std::string& folder) override;
    void Quit(int code) override {
        quitRequested = true;
        exitCode = code;
    }
    char PathSeparator() const override;

  private:
    std::ostream& messages_;
    std::string firstArgument_;
    std::string programPath_;
};

// The first of Steam's two usual Skyrim data folders under `home` that exists, with its
// trailing '/', or empty.
std::string SteamSkyrimDataPath(const std::string& home);
