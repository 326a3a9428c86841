// Shared helpers for Pellmar's tests: byte builders, temporary folders and fixture files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "NifBlockHeader.h"
#include "NifFile.h"

// Defined when the address sanitizer is built in, which GCC and clang tell in different ways.
#if defined(__SANITIZE_ADDRESS__)
#define PELLMAR_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELLMAR_TEST_ASAN 1
#endif
#endif

using Bytes = std::vector<uint8_t>;

// Little-endian byte builder for hand-made bodies.
class ByteBuilder {
  public:
    ByteBuilder& U8(uint8_t v);
    ByteBuilder& U16(uint16_t v);
    ByteBuilder& U32(uint32_t v);
    ByteBuilder& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    ByteBuilder& F32(float v);
    ByteBuilder& Zeros(size_t n);
    ByteBuilder& Text(const std::string& s);
    ByteBuilder& Sized(const std::string& s);
    const Bytes& Get() const { return bytes_; }
    size_t Size() const { return bytes_.size(); }

  private:
    Bytes bytes_;
};

// The bytes a block's body writes in a form (FormBits).
Bytes BodyBytes(const NiObject& block, uint8_t form);
// The index of the first block of a type name; fails the test when there is none.
uint32_t IndexOfType(const NifFile& f, const std::string& type);
// Appends a block of a type Pellmar does not describe, with its raw body; returns its index.
uint32_t AppendOpaque(NifFile& f, const std::string& type, Bytes raw = {});

// The bytes with the block type name `from` of the header's type table renamed to `to`.
Bytes RenameType(Bytes bytes, const std::string& from, const std::string& to);
// The bytes Save writes for a file.
Bytes SaveBytes(const NifFile& file);
// Loads bytes, expecting success.
NifFile LoadBytes(const Bytes& bytes);

// A fresh empty folder, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
    const std::filesystem::path& Root() const { return dir_; }

  private:
    std::filesystem::path dir_;
};

Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// A shape's figures as the corpus's geometry.tsv lists them: counts, and sums over its
// vertices of |x|+|y|+|z|, |u|+|v| (first UV set), the normals' absolute components and every
// bone weight.
struct ShapeFigures {
    std::string file, shape;
    size_t vertices = 0, triangles = 0;
    bool skinned = false;
    size_t bones = 0;
    double position = 0, uv = 0, normal = 0, weight = 0;
};
ShapeFigures FiguresOf(const class ShapeView& shape);
// geometry.tsv of the corpus (what an independent reader sees); empty when absent.
std::vector<ShapeFigures> CorpusGeometry();
// Whether two shapes' figures agree, within what half floats and byte-sized normals allow;
// a description of the first difference otherwise.
std::string CompareFigures(const ShapeFigures& expected, const ShapeFigures& got);

// The corpus of real files beside the repository; empty when absent.
std::vector<std::filesystem::path> CorpusFiles();
std::filesystem::path SamplePath(const std::string& name);
