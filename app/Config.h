// Reading the settings: the game's data folder from the platform and the rest from
// Config.xml.
#pragma once

#include <string>

#include "ConfigStore.h"
#include "Platform.h"

// Sets SkyrimDataPath, then reads `configPath` (Config.xml in the current folder by default).
// Every problem falls back silently to the documented defaults; a path that is not a regular
// file (a folder, a FIFO) is never opened.
void loadConfig(ConfigStore& config, Platform& platform,
                const std::string& configPath = "Config.xml");

// Config.xml as the command line reads it: rc::kOk with its values set in `config`, or
// rc::kMalformed with a message naming the file, the element and the value, for a file that
// cannot be parsed, has another root element, or holds alpha flags that are not a 16-bit
// number or a threshold outside 0..255.
[[nodiscard]] int ReadConfigStrictly(const std::string& configPath, ConfigStore& config,
                                     std::string& error);
