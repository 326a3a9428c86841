#include <nlohmann/json.hpp>

#include <sstream>

#include "Batch.h"
#include "Commands.h"
#include "JsonText.h"
#include "NifFile.h"
#include "ResultCodes.h"
#include "Shaders.h"
#include "ShapeView.h"

namespace {

std::string VersionText(const NifBlockHeader& h) {
    return std::to_string(h.version[3]) + "." + std::to_string(h.version[2]) + "." +
           std::to_string(h.version[1]) + "." + std::to_string(h.version[0]);
}

std::string HeaderLine(const NifBlockHeader& h) {
    std::string line(h.headerLine.data(), h.headerLine.size());
    return line.substr(0, line.find('\0'));
}

// The shapes (or the lighting shaders) of a file by name; an unnamed one by index and type.
bool IsLightingShader(const NiObject* b) {
    return As<BSLightingShaderProperty>(b) != nullptr;
}

template <class Select>
std::vector<std::string> Labels(const NifFile& f, Select select) {
    std::vector<std::string> labels;
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (!select(f.blocks[i].get())) continue;
        const std::string name = f.NameOf(i);
        labels.push_back(name.empty()
                             ? "(unnamed: block " + std::to_string(i) + " " + f.TypeNameOf(i) + ")"
                             : name);
    }
    return labels;
}

nlohmann::json JsonReport(const std::string& path, const NifFile& f) {
    const NifBlockHeader& h = f.header;
    const std::vector<std::string> shapes = Labels(f, ShapeView::IsShape);
    const std::vector<std::string> shaders = Labels(f, IsLightingShader);
    nlohmann::json blocks = nlohmann::json::array();
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        blocks.push_back(
            {{"index", i}, {"type", ToJsonText(f.TypeNameOf(i))}, {"size", h.blockSizes[i]}});
    }
    nlohmann::json doc = {
        {"file", ToJsonText(path)},
        {"headerLine", ToJsonText(HeaderLine(h))},
        {"version", VersionText(h)},
        {"userVersion", h.userVersion},
        {"userVersion2", h.userVersion2},
        {"form", DescribeForm(h.userVersion, h.userVersion2)},
        {"creator", ToJsonText(h.creator)},
        {"exportInfo1", ToJsonText(h.exportInfo1)},
        {"exportInfo2", ToJsonText(h.exportInfo2)},
        {"numBlocks", h.numBlocks},
        {"blocks", blocks},
        {"maxStringLength", h.maxStringLength},
        {"strings", ToJsonTexts(h.strings)},
        {"shapes", ToJsonTexts(shapes)},
        {"shaders", ToJsonTexts(shaders)},
    };
    return doc;
}

void PrintText(const std::string& path, const NifFile& f, std::ostream& out) {
    const NifBlockHeader& h = f.header;
    out << "file:         " << path << "\n"
        << "header line:  " << HeaderLine(h) << "\n"
        << "version:      " << VersionText(h) << "\n"
        << "user version: " << DescribeForm(h.userVersion, h.userVersion2) << "\n"
        << "creator:      " << h.creator << "\n"
        << "export info:  " << h.exportInfo1 << " | " << h.exportInfo2 << "\n"
        << "blocks:       " << h.numBlocks << "\n";
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        out << "  " << i << "  " << f.TypeNameOf(i) << "  " << h.blockSizes[i] << " bytes\n";
    }
    out << "strings:      " << h.numStrings << " (longest recorded: " << h.maxStringLength << ")\n";
    std::vector<std::string> names = Labels(f, ShapeView::IsShape);
    out << "shapes:       " << names.size() << "\n";
    for (const std::string& n : names) out << "  " << n << "\n";
    names = Labels(f, IsLightingShader);
    out << "shaders:      " << names.size() << "\n";
    for (const std::string& n : names) out << "  " << n << "\n";
}

}  // namespace

int RunInfo(const BatchOptions& options, std::ostream& out, std::ostream& err) {
    Batch batch(ReadingOnly(options));
    if (const std::string problem = batch.PlanOutputs(OutputKind::kNone); !problem.empty()) {
        err << "error: " << problem << "\n";
        return 2;
    }
    // One file named on its own prints its report alone, as it always has.
    const bool alone = batch.Items().size() == 1 && options.inputs.size() == 1 &&
                       batch.Items()[0].path == options.inputs[0];
    if (alone) {
        NifFile f;
        std::string error;
        if (batch.Load(batch.Items()[0], f, error) != rc::kOk) {
            err << options.inputs[0] << ": error: " << error << "\n";
            return 1;
        }
        if (options.json) {
            out << JsonReport(options.inputs[0], f).dump(2) << "\n";
        } else {
            PrintText(options.inputs[0], f, out);
        }
        return 0;
    }
    return batch.Run(
        [&](const BatchItem& item) {
            BatchResult r;
            NifFile f;
            std::string error;
            if (batch.Load(item, f, error) != rc::kOk) {
                r.status = BatchResult::Status::kFailed;
                r.text = item.label + ": error: " + error + "\n";
                r.json = {{"file", ToJsonText(item.label)}, {"error", ToJsonText(error)}};
                return r;
            }
            if (batch.Options().json) {
                r.json = JsonReport(item.label, f);
                return r;
            }
            std::ostringstream text;
            PrintText(item.label, f, text);
            r.text = text.str();
            return r;
        },
        [](size_t ok, size_t, size_t failed) {
            return std::to_string(ok) + " files read, " + std::to_string(failed) + " failed";
        },
        out, err);
}
