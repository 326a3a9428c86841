// A platform for application tests: it answers dialogs as told and records what was asked.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Application.h"
#include "Platform.h"

struct ShownMessage {
    std::string text, caption;
    MessageKind kind;
};

class FakePlatform : public Platform {
  public:
    // Answers of the choosers, in order; an empty answer cancels.
    std::vector<std::string> openAnswers;
    std::string saveAnswer;
    std::string dataPath;
    std::string argument;
    std::string programFolder;

    std::vector<std::string> dialogs;  // titles of the dialogs shown
    std::string saveInitialFolder, savePrefill;
    std::vector<ShownMessage> messages;
    int quits = 0;

    bool ChooseOpenPath(const std::string& title, std::string& path) override {
        dialogs.push_back(title);
        if (openAnswers.empty()) return false;
        path = openAnswers.front();
        openAnswers.erase(openAnswers.begin());
        return !path.empty();
    }
    bool ChooseSavePath(const std::string& title, const std::string& initialFolder,
                        std::string& path) override {
        dialogs.push_back(title);
        saveInitialFolder = initialFolder;
        savePrefill = path;
        path = saveAnswer;
        return !path.empty();
    }
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageKind kind) override {
        messages.push_back({text, caption, kind});
    }
    std::string SkyrimDataPath() override { return dataPath; }
    std::string FirstArgument() override { return argument; }
    std::string ProgramFolder() override { return programFolder; }
    bool SetCurrentFolder(const std::string& folder) override {
        std::error_code ec;
        std::filesystem::current_path(folder, ec);
        return !ec;
    }
    void Quit(int) override { ++quits; }
    char PathSeparator() const override {
        return static_cast<char>(std::filesystem::path::preferred_separator);
    }
};

// Restores the current folder when a test changed it.
class KeepCurrentFolder {
  public:
    KeepCurrentFolder() : folder_(std::filesystem::current_path()) {}
    ~KeepCurrentFolder() { std::filesystem::current_path(folder_); }

  private:
    std::filesystem::path folder_;
};
