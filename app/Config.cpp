#include "Config.h"

#include <tinyxml.h>

#include <filesystem>
#include <system_error>

#include "FileIO.h"

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

    std::string text;
    config.set(kShaderLibraryFile,
               ChildText(root, "ShaderLibraryFile", text) ? text : "ShaderLibrary.nif");
    if (ChildText(root, "AlphaFlagsValue", text)) config.set(kAlphaFlagsValue, text);
    if (ChildText(root, "AlphaThreshold", text)) config.set(kAlphaThreshold, text);
    config.set(kTestMode, ChildText(root, "TestMode", text) ? text : "false");
}
