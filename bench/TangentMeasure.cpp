// How close regenerated tangents come to the ones real files store: for every shape with
// tangents in the given files or folders (the shared corpus by default), the stored arrays are
// set aside, regenerated from positions, normals, UVs and triangles, and compared vertex by
// vertex. Prints per shape, per file and overall the median and 90th percentile angle of each
// array, in degrees. Files are told apart by who wrote them, as their headers say: the game's
// own exporter names the artist and leaves the first export text empty; modding tools name
// themselves there.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "NifFile.h"
#include "RealTangents.h"
#include "ResultCodes.h"

namespace fs = std::filesystem;

namespace {

struct Pool {
    std::vector<double> tangent, bitangent;
    size_t shapes = 0;
    void Add(const TangentError& e) {
        tangent.insert(tangent.end(), e.tangent.begin(), e.tangent.end());
        bitangent.insert(bitangent.end(), e.bitangent.begin(), e.bitangent.end());
    }
};

void PrintRow(const std::string& label, const Pool& p) {
    std::printf("%-62s %6zu %8.2f %8.2f %8.2f %8.2f\n", label.c_str(), p.tangent.size(),
                Quantile(p.tangent, 0.5), Quantile(p.tangent, 0.9), Quantile(p.bitangent, 0.5),
                Quantile(p.bitangent, 0.9));
}

const char* FormName(uint8_t form) {
    switch (form) {
        case kForm34:
            return "11/34";
        case kForm83:
            return "12/83";
        case kForm100:
            return "12/100";
        default:
            return "?";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    std::vector<fs::path> roots;
    for (int i = 1; i < argc; ++i) roots.emplace_back(argv[i]);
    if (roots.empty()) roots.emplace_back(PELLMAR_CORPUS_DIR);
    for (const fs::path& root : roots) {
        std::error_code ec;
        if (fs::is_directory(root, ec)) {
            for (const auto& entry : fs::recursive_directory_iterator(root, ec))
                if (entry.is_regular_file() && entry.path().extension() == ".nif")
                    files.push_back(entry.path());
        } else if (fs::is_regular_file(root, ec)) {
            files.push_back(root);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", root.string().c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());

    std::printf("%-62s %6s %8s %8s %8s %8s\n", "angle to the stored arrays, degrees", "verts",
                "T med", "T p90", "B med", "B p90");
    Pool all, skyrim, game;
    size_t filesWithTangents = 0;
    for (const fs::path& path : files) {
        NifFile f;
        if (f.Load(path.string()) != rc::kOk) {
            std::printf("%s: not loaded: %s\n", path.filename().string().c_str(),
                        f.LastError().c_str());
            continue;
        }
        const std::vector<TangentShape> shapes = TangentShapesOf(f);
        if (shapes.empty()) continue;
        ++filesWithTangents;
        Pool file;
        for (const TangentShape& s : shapes) {
            const TangentError e = RegenerationError(s);
            Pool shape;
            shape.Add(e);
            PrintRow("  " + s.name, shape);
            file.Add(e);
            all.Add(e);
            if (f.Form() & kFormsGame) skyrim.Add(e);
            if (WrittenByTheGamesExporter(f)) game.Add(e);
        }
        PrintRow(path.filename().string() + " (" + FormName(f.Form()) + ")", file);
        std::printf("    header: \"%s\" / \"%s\" / \"%s\"%s\n",
                    HeaderText(f.header.creator).c_str(), HeaderText(f.header.exportInfo1).c_str(),
                    HeaderText(f.header.exportInfo2).c_str(),
                    WrittenByTheGamesExporter(f) ? ": the game's exporter" : "");
    }
    std::printf("\n");
    PrintRow("all " + std::to_string(filesWithTangents) + " files with tangents", all);
    PrintRow("Skyrim forms (12/83, 12/100)", skyrim);
    PrintRow("Skyrim forms, written by the game's exporter", game);
    return filesWithTangents > 0 ? 0 : 1;
}
