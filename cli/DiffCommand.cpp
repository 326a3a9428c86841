// pellmar-cli diff: what differs between the meshes of two files of any form.
#include <atomic>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "Batch.h"
#include "Commands.h"
#include "JsonText.h"
#include "MeshCompare.h"
#include "NifFile.h"
#include "ResultCodes.h"

namespace {

nlohmann::json Deviation(double value) {
    return value < 0 ? nlohmann::json(nullptr) : nlohmann::json(value);
}

nlohmann::json JsonOf(const std::string& a, const std::string& b, const MeshComparison& c) {
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
            {"differences", ToJsonTexts(s.differences)},
        });
    }
    nlohmann::json renamed = nlohmann::json::array();
    for (const auto& [from, to] : c.renamed)
        renamed.push_back({{"from", ToJsonText(from)}, {"to", ToJsonText(to)}});
    return {
        {"a", ToJsonText(a)},
        {"b", ToJsonText(b)},
        {"same", c.Same()},
        {"removed", ToJsonTexts(c.removed)},
        {"added", ToJsonTexts(c.added)},
        {"renamed", renamed},
        {"shapes", shapes},
        {"blockTypes", ToJsonTexts(c.blockTypes)},
        {"collision", ToJsonTexts(c.collision)},
    };
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

int RunDiff(const std::string& a, const std::string& b, const BatchOptions& options,
            bool geometryOnly, std::ostream& out, std::ostream& err) {
    CompareOptions compare;
    compare.geometryOnly = geometryOnly;
    compare.collision = !geometryOnly;
    BatchOptions left = ReadingOnly(options), right = left;
    left.inputs = {a};
    right.inputs = {b};
    Batch first(left), second(right);
    // Two files: the one comparison, as text or one JSON document.
    const bool files = first.Items().size() == 1 && first.Items()[0].path == a &&
                       second.Items().size() == 1 && second.Items()[0].path == b;
    if (files) {
        NifFile fa, fb;
        std::string error;
        for (auto [batch, file] : {std::pair{&first, &fa}, std::pair{&second, &fb}}) {
            if (batch->Load(batch->Items()[0], *file, error) != rc::kOk) {
                err << batch->Items()[0].path << ": error: " << error << "\n";
                return 2;
            }
        }
        const MeshComparison c = CompareMeshes(fa, fb, compare);
        if (options.json) {
            out << JsonOf(a, b, c).dump(2) << "\n";
        } else {
            PrintText(a, b, c, out);
        }
        return c.Same() ? 0 : 1;
    }
    // Two folders (or archives): files pair up by their path below them.
    auto key = [](std::string path) {
        for (char& c : path) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (c == '\\') c = '/';
        }
        return path;
    };
    std::map<std::string, const BatchItem*> others;
    for (const BatchItem& item : second.Items()) others.emplace(key(item.relative), &item);
    std::atomic<size_t> unreadable{0};
    const int code = first.Run(
        [&](const BatchItem& item) {
            BatchResult r;
            const auto other = others.find(key(item.relative));
            if (other == others.end()) {
                r.status = BatchResult::Status::kFailed;
                r.text = item.label + ": only in " + a + "\n";
                r.json = {{"a", ToJsonText(item.label)}, {"b", nullptr}, {"same", false}};
                return r;
            }
            NifFile fa, fb;
            std::string error;
            if (first.Load(item, fa, error) != rc::kOk ||
                second.Load(*other->second, fb, error) != rc::kOk) {
                ++unreadable;
                r.status = BatchResult::Status::kFailed;
                r.text = item.label + ": error: " + error + "\n";
                r.json = {{"a", ToJsonText(item.label)}, {"error", ToJsonText(error)}};
                return r;
            }
            const MeshComparison c = CompareMeshes(fa, fb, compare);
            if (options.json) {
                r.json = JsonOf(item.label, other->second->label, c);
            } else if (!c.Same()) {
                std::ostringstream text;
                PrintText(item.label, other->second->label, c, text);
                r.text = text.str();
            } else {
                r.text = item.label + ": the meshes agree\n";
            }
            if (!c.Same()) r.status = BatchResult::Status::kFailed;
            return r;
        },
        [](size_t same, size_t, size_t differ) {
            return std::to_string(same) + " agree, " + std::to_string(differ) + " differ";
        },
        out, err);
    size_t onlyInB = 0;
    std::set<std::string> inA;
    for (const BatchItem& item : first.Items()) inA.insert(key(item.relative));
    for (const BatchItem& item : second.Items()) {
        if (inA.count(key(item.relative))) continue;
        ++onlyInB;
        if (!options.json) out << item.label << ": only in " << b << "\n";
    }
    if (unreadable > 0) return 2;
    return code == 0 && onlyInB == 0 ? 0 : 1;
}
