// pellmar-cli: Pellmar's command line, for scripted and batch work.
#include <CLI/CLI.hpp>
#include <iostream>

#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"Pellmar: prepares Skyrim character meshes (NIF 20.2.0.7) for the game and for Blender"};
    app.require_subcommand(1);

    std::string infoPath;
    bool json = false;
    CLI::App* info = app.add_subcommand("info", "Show a NIF file's header, blocks, shapes and shaders");
    info->add_option("FILE", infoPath, "the NIF file")->required();
    info->add_flag("--json", json, "print JSON instead of text");

    std::vector<std::string> checkPaths;
    CLI::App* check = app.add_subcommand(
        "check", "Load each file and tell whether Pellmar writes it back unchanged");
    check->add_option("FILE", checkPaths, "NIF files")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }
    if (*info) return RunInfo(infoPath, json, std::cout, std::cerr);
    if (*check) return RunCheck(checkPaths, std::cout);
    return 2;
}
