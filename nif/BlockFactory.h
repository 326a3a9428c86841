// Chooses the class of a block by its type name.
#pragma once

#include <memory>
#include <string>

#include "NifBlock.h"

// A new, empty block of the class that reads this type; an opaque block of the given size for
// any type without a class of its own.
std::unique_ptr<NifBlock> CreateBlock(const std::string& typeName, uint32_t size);
