// pellmar-cli: Pellmar's command line, for scripted and batch work.
#include <CLI/CLI.hpp>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "ArchiveCommand.h"
#include "Commands.h"
#include "ConvertCommands.h"
#include "Interrupts.h"
#include "Lint.h"
#include "LintCommands.h"
#include "Memory.h"
#include "OpenFiles.h"

namespace {

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// The exit code of a run whose standard output may have failed: a report cut short by a full
// disk or a closed file must not pass for a whole one, so that is exit code 2 with a message.
// A reader that went away on purpose (a closed pipe: `| head`) stopped the run as an
// interruption does and needs no message.
int WithOutputChecked(int code) {
    if (std::cout.flush() || OutputReaderGone()) return code;
    std::cerr << "error: the standard output could not be written in full; what it holds is "
                 "incomplete\n";
    return 2;
}

// The options every batch command shares: its inputs (files, folders, archives; none for a
// command that names its own), --jobs and --json; commands that write add -o, --output-dir and
// --dry-run.
void AddRunOptions(CLI::App* command, BatchOptions& o, bool writes, const char* inputs) {
    if (inputs) command->add_option("INPUT", o.inputs, inputs)->required();
    command->add_option("--jobs", o.jobs, "files handled at once (default: the machine's cores)")
        ->check(CLI::PositiveNumber);
    command->add_flag("--json", o.json, "print one JSON document instead of text");
    if (!writes) return;
    command->add_option("-o,--output", o.output, "the output file (one input)");
    command->add_option("--output-dir", o.outputDir,
                        "a folder for the outputs, each under its path below its input folder");
    command->add_flag("--dry-run", o.dryRun,
                      "show what would be written and what would change, writing nothing");
}

constexpr const char* kMeshes = "meshes: files, folders (walked for .nif files) or .bsa archives";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Pellmar: prepares Skyrim character meshes (NIF 20.2.0.7) for the game and for Blender"};
    app.require_subcommand(1);

    BatchOptions info;
    CLI::App* infoCommand =
        app.add_subcommand("info", "Show a NIF file's header, blocks, shapes and shaders");
    AddRunOptions(infoCommand, info, false, kMeshes);

    BatchOptions check;
    CLI::App* checkCommand = app.add_subcommand(
        "check", "Load each file and tell whether Pellmar writes it back unchanged");
    AddRunOptions(checkCommand, check, false, kMeshes);

    BatchOptions lint;
    bool listRules = false;
    std::string lintSeverity = "note";
    CLI::App* lintCommand = app.add_subcommand(
        "lint",
        "Report what in each file crashes the game or the Creation Kit, looks wrong or is waste");
    AddRunOptions(lintCommand, lint, false, kMeshes);
    lintCommand->get_option("INPUT")->required(false);
    lintCommand->add_flag("--rules", listRules, "list the rules instead (as JSON with --json)");
    lintCommand
        ->add_option("--severity", lintSeverity, "the lowest severity reported (default: note)")
        ->check(CLI::IsMember({"error", "warning", "note"}));

    RepairOptions r;
    CLI::App* repair = app.add_subcommand(
        "repair", "Apply the safe fixes for what lint finds and write the result elsewhere");
    AddRunOptions(repair, r.run, true, kMeshes);
    repair->add_option("--only", r.only, "RULE: apply only this rule's repair (repeatable)");

    std::string diffA, diffB;
    BatchOptions diffRun;
    bool diffGeometry = false;
    CLI::App* diff = app.add_subcommand(
        "diff",
        "Compare the meshes of two files of any form (or of two folders or archives, file by "
        "file): shapes, geometry, skin, shaders");
    diff->add_option("A", diffA, "the first file, folder or archive")->required();
    diff->add_option("B", diffB, "the second")->required();
    AddRunOptions(diff, diffRun, false, nullptr);
    diff->add_flag("--geometry", diffGeometry, "only the shapes, their vertex data and skin");

    std::string shapesPath;
    CLI::App* shapes = app.add_subcommand("shapes", "List the shapes of a mesh, one per line");
    shapes->add_option("INPUT", shapesPath, "the mesh")->required();

    std::string shadersPath;
    CLI::App* shaders =
        app.add_subcommand("shaders", "List the shaders of a shader library, one per line");
    shaders->add_option("LIBRARY", shadersPath, "the shader library")->required();

    CleanOptions c;
    CLI::App* clean = app.add_subcommand(
        "clean", "Convert Blender exports for the game, with shaders copied from a library");
    AddRunOptions(clean, c.run, true, kMeshes);
    clean->add_option("--library", c.library,
                      "the shader library (a game-form NIF); without --restore-from, required");
    clean->add_option("--restore-from", c.restoreFrom,
                      "ORIGINAL: the game mesh the input was made from; its shaders, alpha, "
                      "collision, extra data and controllers come back by name");
    clean->add_flag("--test-mode", c.testMode,
                    "write over the game's two female body meshes (one input; the originals are "
                    "kept as .orig)");
    clean->add_option("--assign", c.assign,
                      "SHAPE=SHADER: give every shape of that name this shader");
    clean->add_option("--alpha", c.alpha, "SHAPE: give the shape an alpha property");
    clean->add_option("--no-alpha", c.noAlpha, "SHAPE: give the shape no alpha property");
    clean->add_option("--rename", c.rename, "OLD=NEW: rename a shape first");
    clean->add_option("--config", c.config,
                      "Config.xml with the alpha settings (default: beside the program)");
    clean->add_flag("--no-repair", c.noRepair,
                    "do not apply the repairs of 'repair' (tangents, bounds, flags, partitions)");
    CLI::Option* dataPath =
        clean->add_option("--data-path", c.dataPath, "the game's Data folder for --test-mode");
    clean
        ->add_option("--form", c.form,
                     "le: Skyrim (12/83, the default); se: Special Edition (12/100)")
        ->check(CLI::IsMember({"le", "se"}));

    ConvertOptions v;
    CLI::App* convert =
        app.add_subcommand("convert",
                           "Convert game meshes between Skyrim (12/83) and the Special "
                           "Edition (12/100)");
    AddRunOptions(convert, v.run, true, kMeshes);
    convert->add_option("--to", v.to, "se: Special Edition (12/100); le: Skyrim (12/83)")
        ->required()
        ->check(CLI::IsMember({"le", "se"}));

    BatchOptions b;
    CLI::App* toBlender =
        app.add_subcommand("to-blender", "Convert game meshes for the Blender importer");
    AddRunOptions(toBlender, b, true, kMeshes);

    ArchiveOptions a;
    CLI::App* archive =
        app.add_subcommand("archive", "List or extract the entries of a BSA archive (104 or 105)");
    archive->require_subcommand(1);
    CLI::App* archiveList = archive->add_subcommand(
        "ls", "List the entries: stored and original size, compression, path");
    CLI::App* archiveExtract = archive->add_subcommand(
        "extract", "Write the entries under a folder, by their paths in the archive");
    for (CLI::App* command : {archiveList, archiveExtract}) {
        command->add_option("ARCHIVE", a.archive, "the BSA archive")->required();
        command->add_option("PATTERN", a.pattern,
                            "only entries whose path matches this glob (* and ?, any case, "
                            "/ or \\), for example 'meshes\\armor\\*.nif'");
    }
    archiveExtract->add_option("--output-dir", a.outputDir, "the folder to write under")
        ->required();
    archiveExtract->add_flag("--overwrite", a.overwrite, "replace files that exist");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }
    InstallInterruptHandlers();
    KeepFreedMemoryForReuse();
    AllowManyOpenFiles();
    // What the command printed reached its reader, or the run says it did not.
    const auto run = [&]() -> int {
        const bool terminal = StderrIsTerminal();
        for (BatchOptions* o : {&info, &check, &lint, &r.run, &c.run, &v.run, &b, &diffRun})
            o->progress = terminal;
        if (*infoCommand) return RunInfo(info, std::cout, std::cerr);
        if (*checkCommand) return RunCheck(check, std::cout, std::cerr);
        if (*lintCommand) {
            if (listRules) {
                std::cout << (lint.json ? LintRulesJson() : LintRulesText());
                return 0;
            }
            if (lint.inputs.empty()) {
                std::cerr << "error: lint needs at least one FILE (or --rules)\n";
                return 2;
            }
            Severity lowest = Severity::kNote;
            if (!ParseSeverity(lintSeverity, lowest)) return 2;  // the option's check said why
            return RunLint(lint, lowest, std::cout, std::cerr);
        }
        if (*repair) return RunRepair(r, std::cout, std::cerr);
        if (*diff) return RunDiff(diffA, diffB, diffRun, diffGeometry, std::cout, std::cerr);
        if (*archiveList) return RunArchiveList(a, std::cout, std::cerr);
        if (*archiveExtract) return RunArchiveExtract(a, std::cout, std::cerr);
        if (*shapes) return RunShapes(shapesPath, std::cout, std::cerr);
        if (*shaders) return RunShaders(shadersPath, std::cout, std::cerr);
        if (*clean) {
            c.dataPathGiven = dataPath->count() > 0;
            return RunClean(c, std::cout, std::cerr);
        }
        if (*toBlender) return RunToBlender(b, std::cout, std::cerr);
        if (*convert) return RunConvert(v, std::cout, std::cerr);
        return 2;
    };
    return WithOutputChecked(run());
}
