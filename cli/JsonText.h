// Names in NIF files are 8-bit text, not always UTF-8; JSON needs UTF-8.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The text itself when it is valid UTF-8, otherwise its bytes read as Latin-1.
std::string ToJsonText(const std::string& bytes);
// A list of such texts as a JSON array.
nlohmann::json ToJsonTexts(const std::vector<std::string>& texts);
