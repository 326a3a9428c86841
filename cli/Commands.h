// The commands of pellmar-cli. Each returns the process exit code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

[[nodiscard]] int RunInfo(const std::string& path, bool json, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunCheck(const std::vector<std::string>& paths, std::ostream& out);
// Compares the meshes of two files (MeshCompare.h): 0 when they agree, 1 when they differ, 2
// when a file does not load.
[[nodiscard]] int RunDiff(const std::string& a, const std::string& b, bool json, bool geometryOnly,
                          std::ostream& out, std::ostream& err);
