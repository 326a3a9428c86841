// The services Pellmar's application logic asks of the system it runs on: choosing paths,
// showing messages, the game's data folder, the command line, the program's folder and
// ending the program. The Windows program implements them with Win32; the portable
// implementation serves Linux and the command line.
#pragma once

#include <string>

enum class MessageKind { kInformation, kError };

class Platform {
  public:
    virtual ~Platform() = default;

    // An open dialog for an existing NIF file; false when cancelled.
    [[nodiscard]] virtual bool ChooseOpenPath(const std::string& title, std::string& path) = 0;
    // A save dialog pre-filled with `path` (a full path or empty) and opening in
    // `initialFolder` (empty: the dialog's choice). The user has confirmed any overwrite.
    // False when cancelled.
    [[nodiscard]] virtual bool ChooseSavePath(const std::string& title,
                                              const std::string& initialFolder,
                                              std::string& path) = 0;
    // Returns once the user has closed the message.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageKind kind) = 0;
    // The game's data folder with its trailing separator, or empty when the game is not found.
    virtual std::string SkyrimDataPath() = 0;
    // The first command-line argument, or empty.
    virtual std::string FirstArgument() = 0;
    // The folder of the running program, with its trailing separator.
    virtual std::string ProgramFolder() = 0;
    virtual bool SetCurrentFolder(const std::string& folder) = 0;
    // Ends the message loop with this exit code.
    virtual void Quit(int exitCode) = 0;
    // The separator of paths this platform hands out: '\\' on Windows, '/' elsewhere.
    virtual char PathSeparator() const = 0;
};
