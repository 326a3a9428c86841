// The independent NIF reader driven only by the format sheet (beside the shared corpus), run
// on files Pellmar wrote. Tests skip when it or python3 is missing (as under Wine).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// The reader's script; empty when it or python3 is missing.
inline std::filesystem::path SheetChecker() {
#ifdef PELLMAR_CORPUS_DIR
    const std::filesystem::path checker =
        std::filesystem::path(PELLMAR_CORPUS_DIR) / "../tools/sheetcheck/sheetcheck.py";
    if (std::filesystem::exists(checker) && std::system("python3 --version >/dev/null 2>&1") == 0)
        return checker;
#endif
    return {};
}

// Runs the reader on the files; empty when it accepts every one, else its report.
inline std::string SheetCheck(const std::filesystem::path& checker,
                              const std::vector<std::string>& files,
                              const std::filesystem::path& report) {
    std::string command = "python3 '" + checker.string() + "' --files";
    for (const std::string& f : files) command += " '" + f + "'";
    if (std::system((command + " > '" + report.string() + "' 2>&1").c_str()) == 0) return {};
    std::ifstream in(report, std::ios::binary);
    return "sheet reader failed:\n" +
           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder of its own under the system's temporary folder, so that runs at the same time do
// not share it.
inline std::filesystem::path UniqueTempDir(const std::string& stem) {
    std::random_device random;
    return std::filesystem::temp_directory_path() /
           (stem + "-" + std::to_string(random()) + std::to_string(random()));
}
