// pellmar-cli diff: what differs between the meshes of two files of any form.
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "JsonText.h"
#include "MeshCompare.h"
#include "NifFile.h"
#include "ResultCodes.h"

namespace {

nlohmann::json Deviation(double value) {
    return value < 0 ? nlohmann::json(nullptr) : nlohmann::json(value);
}

nlohmann::json TextList(const std::vector<std::string>& texts) {
    nlohmann::json list = nlohmann::json::array();
    for (const std::string& t : texts) list.push_back(ToJsonText(t));
    return list;
}

void PrintJson(const std::string& a, const std::string& b, const MeshComparison& c,
               std::ostream& out) {
    nlohmann::json shapes = nlohmann::json::array();
    for (const ShapeComparison& s : c.shapes) {
        shapes.push_back({
            {"name", ToJsonText(s.name)},
            {"other", ToJsonText(s.other)},
            {"vertices", {s.vertices[0], s.vertices[1]}},
            {"triangles", {s.triangles[0], s.triangles[1]}},
            {"largestDeviation",
             {{"positions", Deviation(s.maxPosition)},
              {"uvs", Deviation(s.maxUV)},
              {"normals", Deviation(s.maxNormal)},
              {"tangents", Deviation(s.maxTangent)},
              {"colors", Deviation(s.maxColor)},
              {"weights", Deviation(s.maxWeight)}}},
            {"differences", TextList(s.differences)},
        });
    }
    nlohmann::json renamed = nlohmann::json::array();
    for (const auto& [from, to] : c.renamed)
        renamed.push_back({{"from", ToJsonText(from)}, {"to", ToJsonText(to)}});
    const nlohmann::json doc = {
        {"a", ToJsonText(a)},
        {"b", ToJsonText(b)},
        {"same", c.Same()},
        {"removed", TextList(c.removed)},
        {"added", TextList(c.added)},
        {"renamed", renamed},
        {"shapes", shapes},
        {"blockTypes", TextList(c.blockTypes)},
        {"collision", TextList(c.collision)},
    };
    out << doc.dump(2) << "\n";
}

std::string Figure(double value) {
    if (value < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

void PrintText(const std::string& a, const std::string& b, const MeshComparison& c,
               std::ostream& out) {
    out << "a: " << a << "\nb: " << b << "\n";
    for (const ShapeComparison& s : c.shapes) {
        out << "shape \"" << s.name << "\"";
        if (s.other != s.name) out << " (\"" << s.other << "\" in b)";
        out << ": " << s.vertices[0] << "/" << s.vertices[1] << " vertices, " << s.triangles[0]
            << "/" << s.triangles[1] << " triangles; largest deviation: positions "
            << Figure(s.maxPosition) << ", UVs " << Figure(s.maxUV) << ", normals "
            << Figure(s.maxNormal) << ", weights " << Figure(s.maxWeight) << "\n";
    }
    for (const std::string& line : c.Lines()) out << "  " << line << "\n";
    out << (c.Same() ? "the meshes agree\n" : "the meshes differ\n");
}

}  // namespace

int RunDiff(const std::string& a, const std::string& b, bool json, bool geometryOnly,
            std::ostream& out, std::ostream& err) {
    NifFile fa, fb;
    for (auto [path, file] : {std::pair{&a, &fa}, std::pair{&b, &fb}}) {
        if (file->Load(*path) != rc::kOk) {
            err << *path << ": error: " << file->LastError() << "\n";
            return 2;
        }
    }
    CompareOptions options;
    options.geometryOnly = geometryOnly;
    const MeshComparison c = CompareMeshes(fa, fb, options);
    if (json) {
        PrintJson(a, b, c, out);
    } else {
        PrintText(a, b, c, out);
    }
    return c.Same() ? 0 : 1;
}
