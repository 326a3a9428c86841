// The commands of pellmar-cli that read meshes and write none. Each returns the process exit
// code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Batch.h"

// The header, block table, shapes and shaders of each input (one document for one file).
[[nodiscard]] int RunInfo(const BatchOptions& options, std::ostream& out, std::ostream& err);
// Whether each input loads, is consistent and writes back byte for byte: 0 when all do.
[[nodiscard]] int RunCheck(const BatchOptions& options, std::ostream& out, std::ostream& err);
// Compares the meshes of two files (MeshCompare.h), or of the files two folders or archives
// hold at the same paths: 0 when they agree, 1 when they differ, 2 when a file does not load.
[[nodiscard]] int RunDiff(const std::string& a, const std::string& b, const BatchOptions& options,
                          bool geometryOnly, std::ostream& out, std::ostream& err);
