// Names in NIF files are 8-bit text, not always UTF-8; JSON needs UTF-8.
#pragma once

#include <string>

// The text itself when it is valid UTF-8, otherwise its bytes read as Latin-1.
std::string ToJsonText(const std::string& bytes);
