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
