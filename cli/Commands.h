// The commands of pellmar-cli. Each returns the process exit code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

[[nodiscard]] int RunInfo(const std::string& path, bool json, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunCheck(const std::vector<std::string>& paths, std::ostream& out);
