// pellmar-cli run as a process, as scripts run it: POSIX popen and wait status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

struct CliRun {
    int exitCode;
    std::string out;  // standard output and standard error
};

// A shell command line, with its standard error in its output.
inline CliRun RunShell(const std::string& line) {
    FILE* pipe = popen(("(" + line + ") 2>&1").c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// pellmar-cli with these arguments, stopped after two minutes should it hang.
inline CliRun RunCli(const std::string& args) {
    return RunShell("timeout 120 " + std::string(PELLMAR_CLI) + " " + args);
}

inline std::string Quoted(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}
