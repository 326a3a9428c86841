#include "Config.h"

#include <tinyxml.h>

#include <filesystem>
#include <system_error>

#include "FileIO.h"
#include "ResultCodes.h"

namespace {

// The text of the root's first child element of that name; false when there is none. An
// element without text stores an empty value.
bool ChildText(const TiXmlElement* root, const char* name, std::string& text) {
    const TiXmlElement* element = root->FirstChildElement(name);
    if (!element) return false;
    const char* value = element->GetText();
    text = value ? value : "";
    return true;
}

// The settings the file holds, with the defaults of those it leaves out.
void TakeSettings(const TiXmlElement* root, ConfigStore& config) {
    std::string text;
    config.set(kShaderLibraryFile,
               ChildText(root, "ShaderLibraryFile", text) ? text : "ShaderLibrary.nif");
    if (ChildText(root, "AlphaFlagsValue", text)) config.set(kAlphaFlagsValue, text);
    if (ChildText(root, "AlphaThreshold", text)) config.set(kAlphaThreshold, text);
    config.set(kTestMode, ChildText(root, "TestMode", text) ? text : "false");
}

}  // namespace

void loadConfig(ConfigStore& config, Platform& platform, const std::string& configPath) {
    config.set(kSkyrimDataPath, platform.SkyrimDataPath());

    // The XML reader would wait forever on a FIFO and take a folder's size for its length.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(PathFromText(configPath), ec)) return;
    TiXmlDocument document(configPath.c_str());
    if (!document.LoadFile()) return;
    const TiXmlElement* root = document.FirstChildElement("PellmarConfig");
    if (!root) return;
    TakeSettings(root, config);
}

namespace {

// A whole decimal number up to `limit`.
bool DecimalUpTo(const std::string& text, unsigned long limit) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return std::stoul(text) <= limit;
}

}  // namespace

int ReadConfigStrictly(const std::string& configPath, ConfigStore& config, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(PathFromText(configPath), ec)) {
        error = configPath + ": not a regular file";
        return rc::kCannotOpen;
    }
    TiXmlDocument document(configPath.c_str());
    if (!document.LoadFile()) {
        error = configPath + ": cannot be read as XML: " + document.ErrorDesc() + " (line " +
                std::to_string(document.ErrorRow()) + ")";
        return rc::kMalformed;
    }
    const TiXmlElement* root = document.RootElement();
    if (!root || std::string(root->Value()) != "PellmarConfig") {
        error = configPath + ": the root element is <" + (root ? root->Value() : "") +
                ">, not <PellmarConfig>";
        return rc::kMalformed;
    }
    std::string text;
    const struct {
        const char* element;
        unsigned long limit;
        const char* what;
    } numbers[] = {{kAlphaFlagsValue, 65535, "a 16-bit number (0 to 65535)"},
                   {kAlphaThreshold, 255, "a number from 0 to 255"}};
    for (const auto& n : numbers) {
        if (!ChildText(root, n.element, text)) continue;
        if (!DecimalUpTo(text, n.limit)) {
            error =
                configPath + ": <" + n.element + "> holds \"" + text + "\", which is not " + n.what;
            return rc::kMalformed;
        }
    }
    TakeSettings(root, config);
    return rc::kOk;
}
