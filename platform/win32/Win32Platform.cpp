#include "Win32Platform.h"

#include <commdlg.h>
#include <shellapi.h>

#include <vector>

namespace {

constexpr DWORD kPathBuffer = 1024;
constexpr char kNifFilter[] = "Nif Files\0*.nif\0";

}  // namespace

namespace {

// The common file dialog for NIF files; `path` pre-fills it and receives the choice.
bool RunFileDialog(HWND owner, const std::string& title, const std::string& initialFolder,
                   DWORD flags, bool save, std::string& path) {
    std::vector<char> buffer(kPathBuffer, '\0');
    path.copy(buffer.data(), kPathBuffer - 1);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kNifFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = kPathBuffer;
    ofn.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = flags;
    if (!(save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn))) return false;
    path = buffer.data();
    return true;
}

}  // namespace

bool Win32Platform::ChooseOpenPath(const std::string& title, std::string& path) {
    path.clear();
    return RunFileDialog(owner, title, "", OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR,
                         false, path);
}

bool Win32Platform::ChooseSavePath(const std::string& title, const std::string& initialFolder,
                                   std::string& path) {
    return RunFileDialog(owner, title, initialFolder,
                         OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR, true, path);
}

void Win32Platform::ShowMessage(const std::string& text, const std::string& caption,
                                MessageKind kind) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(),
                kind == MessageKind::kError ? MB_ICONERROR | MB_OK : MB_OK);
}

bool ReadSkyrimInstalledPath(std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bethesda Softworks\\Skyrim", 0,
                      KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0, size = 0;
    bool ok =
        RegQueryValueExA(key, "Installed Path", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ);
    std::vector<char> buffer(size + 1, '\0');
    ok = ok && RegQueryValueExA(key, "Installed Path", nullptr, &type,
                                reinterpret_cast<BYTE*>(buffer.data()), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (ok) path = buffer.data();
    return ok;
}

std::string Win32Platform::SkyrimDataPath() {
    std::string installed;
    return ReadSkyrimInstalledPath(installed) ? installed + "Data\\" : std::string();
}

std::string Win32Platform::FirstArgument() {
    return FirstArgumentOf(GetCommandLineW());
}

std::string FirstArgumentOf(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(commandLine, &count);
    std::string argument;
    if (args && count >= 2) {
        const int size = WideCharToMultiByte(CP_ACP, 0, args[1], -1, nullptr, 0, nullptr, nullptr);
        if (size > 0) {
            std::vector<char> buffer(static_cast<size_t>(size));
            WideCharToMultiByte(CP_ACP, 0, args[1], -1, buffer.data(), size, nullptr, nullptr);
            argument = buffer.data();
        }
    }
    if (args) LocalFree(args);
    return argument;
}

std::string Win32Platform::ProgramFolder() {
    std::vector<char> buffer(MAX_PATH);
    DWORD length;
    while ((length = GetModuleFileNameA(nullptr, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) == buffer.size()) {
        buffer.resize(buffer.size() * 2);
    }
    std::string path(buffer.data(), length);
    const size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool Win32Platform::SetCurrentFolder(const std::string& folder) {
    return !folder.empty() && SetCurrentDirectoryA(folder.c_str()) != 0;
}

void Win32Platform::Quit(int exitCode) {
    PostQuitMessage(exitCode);
}
