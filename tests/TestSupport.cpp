#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "ResultCodes.h"
#include "ShapeView.h"
#include "Visitors.h"

ByteBuilder& ByteBuilder::U8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

ByteBuilder& ByteBuilder::U16(uint16_t v) {
    return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8));
}

ByteBuilder& ByteBuilder::U32(uint32_t v) {
    return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
}

ByteBuilder& ByteBuilder::F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return U32(bits);
}

ByteBuilder& ByteBuilder::Zeros(size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
}

ByteBuilder& ByteBuilder::Text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
}

ByteBuilder& ByteBuilder::Sized(const std::string& s) {
    return U32(static_cast<uint32_t>(s.size())).Text(s);
}

Bytes BodyBytes(const NiObject& block, uint8_t form) {
    NifWriter out;
    EXPECT_EQ(WriteBody(block, out, form), "");
    return Bytes(out.Buffer().begin(), out.Buffer().end());
}

uint32_t IndexOfType(const NifFile& f, const std::string& type) {
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (f.TypeNameOf(i) == type) return i;
    }
    ADD_FAILURE() << "no " << type;
    return 0;
}

uint32_t AppendOpaque(NifFile& f, const std::string& type, Bytes raw) {
    auto block = std::make_unique<OpaqueBlock>();
    block->raw = std::move(raw);
    f.blocks.push_back(std::move(block));
    f.header.blockTypeIndex.push_back(f.header.FindOrAddBlockType(type));
    f.header.blockSizes.push_back(0);
    f.header.numBlocks = static_cast<uint32_t>(f.blocks.size());
    return f.header.numBlocks - 1;
}

Bytes RenameType(Bytes bytes, const std::string& from, const std::string& to) {
    Bytes pattern, replacement;
    for (const auto& [text, out] : {std::pair{&from, &pattern}, std::pair{&to, &replacement}}) {
        const auto n = static_cast<uint32_t>(text->size());
        for (int k = 0; k < 4; ++k) out->push_back(static_cast<uint8_t>(n >> (8 * k)));
        out->insert(out->end(), text->begin(), text->end());
    }
    auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    EXPECT_NE(at, bytes.end()) << "no type " << from;
    if (at == bytes.end()) return bytes;
    at = bytes.erase(at, at + static_cast<std::ptrdiff_t>(pattern.size()));
    bytes.insert(at, replacement.begin(), replacement.end());
    return bytes;
}

Bytes SaveBytes(const NifFile& file) {
    std::string bytes;
    EXPECT_EQ(file.SaveToMemory(bytes), rc::kOk) << file.LastError();
    return Bytes(bytes.begin(), bytes.end());
}

NifFile LoadBytes(const Bytes& bytes) {
    NifFile f;
    EXPECT_EQ(f.LoadFromMemory(bytes), rc::kOk) << f.LastError();
    return f;
}

TempDir::TempDir() {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("pellmar-test-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::filesystem::path> CorpusFiles() {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(PELLMAR_CORPUS_DIR, ec)) {
        if (entry.path().extension() == ".nif") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::filesystem::path SamplePath(const std::string& name) {
    return std::filesystem::path(PELLMAR_SOURCE_DIR) / "samples" / name;
}

ShapeFigures FiguresOf(const ShapeView& s) {
    ShapeFigures f;
    f.shape = s.Name();
    f.vertices = s.NumVertices();
    f.triangles = s.Triangles().size();
    f.skinned = s.IsSkinned();
    f.bones = s.SkinInstance() ? s.SkinInstance()->bones.size() : 0;
    for (size_t v = 0; v < f.vertices; ++v) {
        const Vector3 p = s.Position(v);
        f.position += std::fabs(double{p.x}) + std::fabs(double{p.y}) + std::fabs(double{p.z});
        if (s.HasUVs()) f.uv += std::fabs(double{s.UV(v).u}) + std::fabs(double{s.UV(v).v});
        if (s.HasNormals()) {
            const Vector3 n = s.Normal(v);
            f.normal += std::fabs(double{n.x}) + std::fabs(double{n.y}) + std::fabs(double{n.z});
        }
    }
    const VertexWeights w = s.Weights();
    for (const BoneWeight& e : w.entries) f.weight += e.weight;
    return f;
}

std::vector<ShapeFigures> CorpusGeometry() {
    std::vector<ShapeFigures> rows;
    std::ifstream in(std::filesystem::path(PELLMAR_CORPUS_DIR) / "geometry.tsv");
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ShapeFigures f;
        std::string skinned;
        std::getline(fields, f.file, '\t');
        std::getline(fields, f.shape, '\t');
        fields >> f.vertices >> f.triangles >> skinned >> f.bones >> f.position >> f.uv >>
            f.normal >> f.weight;
        f.skinned = skinned == "1";
        if (fields) rows.push_back(f);
    }
    return rows;
}

std::string CompareFigures(const ShapeFigures& e, const ShapeFigures& g) {
    auto near = [](double a, double b, double relative) {
        return std::fabs(a - b) <= relative * std::max(1.0, std::fabs(a)) + 0.01;
    };
    const std::string who = e.file + " " + e.shape + ": ";
    if (e.shape != g.shape) return who + "named \"" + g.shape + "\"";
    if (e.vertices != g.vertices || e.triangles != g.triangles)
        return who + std::to_string(g.vertices) + " vertices and " + std::to_string(g.triangles) +
               " triangles instead of " + std::to_string(e.vertices) + " and " +
               std::to_string(e.triangles);
    if (e.skinned != g.skinned || e.bones != g.bones) return who + "skin or bones differ";
    if (!near(e.position, g.position, 1e-6))
        return who + "positions sum to " + std::to_string(g.position);
    // Half-float UVs and weights, byte normals (a step of 1/127.5 at most per component).
    if (!near(e.uv, g.uv, 1e-3)) return who + "UVs sum to " + std::to_string(g.uv);
    if (!near(e.normal, g.normal, 4e-3)) return who + "normals sum to " + std::to_string(g.normal);
    if (!near(e.weight, g.weight, 1e-3)) return who + "weights sum to " + std::to_string(g.weight);
    return {};
}
