#include "PortablePlatform.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

PortablePlatform::PortablePlatform(std::ostream& messages, std::string firstArgument,
                                   std::string programPath)
    : messages_(messages),
      firstArgument_(std::move(firstArgument)),
      programPath_(std::move(programPath)) {}

bool PortablePlatform::ChooseOpenPath(const std::string&, std::string& path) {
    path = openPath;
    return !path.empty();
}

bool PortablePlatform::ChooseSavePath(const std::string&, const std::string&, std::string& path) {
    path = savePath;
    return !path.empty();
}

void PortablePlatform::ShowMessage(const std::string& text, const std::string& caption,
                                   MessageKind kind) {
    messages_ << (kind == MessageKind::kError ? "error: " : "") << caption << ": " << text << "\n";
}

std::string SteamSkyrimDataPath(const std::string& home) {
    if (home.empty()) return {};
    for (const char* folder : {"/.steam/steam/steamapps/common/Skyrim/Data/",
                               "/.local/share/Steam/steamapps/common/Skyrim/Data/"}) {
        std::error_code ec;
        const std::string path = home + folder;
        if (fs::is_directory(path, ec)) return path;
    }
    return {};
}

std::string PortablePlatform::SkyrimDataPath() {
    const char* home = std::getenv("HOME");
    return SteamSkyrimDataPath(home ? home : "");
}

std::string PortablePlatform::ProgramFolder() {
    std::error_code ec;
    fs::path program =
        programPath_.empty() ? fs::read_symlink("/proc/self/exe", ec) : fs::path(programPath_);
    if (program.empty()) return {};
    fs::path folder = fs::absolute(program, ec).parent_path();
    std::string text = folder.string();
    if (!text.empty() && text.back() != PathSeparator()) text += PathSeparator();
    return text;
}

bool PortablePlatform::SetCurrentFolder(const std::string& folder) {
    std::error_code ec;
    fs::current_path(folder, ec);
    return !ec;
}

char PortablePlatform::PathSeparator() const {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}
