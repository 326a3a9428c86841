#include "SampleFiles.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "NifBlockBSDismemberment.h"
#include "NifBlockBSLightShadeProp.h"
#include "NifBlockNiNode.h"
#include "NifBlockNiSkinData.h"
#include "NifBlockNiSkinPartition.h"
#include "NifBlockTriShape.h"
#include "NifBlockTriShapeData.h"
#include "SampleBuilder.h"

namespace {

std::unique_ptr<NifBlockNiNode> Node(SampleBuilder& b, const std::string& name,
                                     std::vector<int32_t> children) {
    auto node = std::make_unique<NifBlockNiNode>();
    node->nameIndex = b.String(name);
    node->name = name;
    node->flags = 14;
    node->rotation.m[0] = node->rotation.m[4] = node->rotation.m[8] = 1.0f;
    node->numChildren = static_cast<uint32_t>(children.size());
    node->children = std::move(children);
    return node;
}

// A cylinder of rings x segments vertices with its triangles; one ring of three vertices is
// a single triangle.
std::unique_ptr<NifBlockTriShapeData> Geometry(uint32_t rings, uint32_t segments, bool tangents,
                                               bool colors) {
    auto d = std::make_unique<NifBlockTriShapeData>();
    d->numVertices = static_cast<uint16_t>(rings * segments);
    d->hasNormals = 1;
    d->vectorFlags = tangents ? 0x1001 : 0x0001;
    d->hasVertexColors = colors ? 1 : 0;
    for (uint32_t r = 0; r < rings; ++r) {
        for (uint32_t s = 0; s < segments; ++s) {
            const float a = 6.2831853f * static_cast<float>(s) / static_cast<float>(segments);
            const float z = static_cast<float>(r) * 4.0f;
            d->vertices.push_back({10.0f * std::cos(a), 10.0f * std::sin(a), z});
            d->normals.push_back({std::cos(a), std::sin(a), 0.0f});
            if (tangents) {
                d->tangents.push_back({-std::sin(a), std::cos(a), 0.0f});
                d->bitangents.push_back({0.0f, 0.0f, 1.0f});
            }
            if (colors) d->vertexColors.push_back({1.0f, 1.0f, 1.0f, 1.0f});
            d->uvSet.push_back({static_cast<float>(s) / static_cast<float>(segments),
                                static_cast<float>(r) / static_cast<float>(rings)});
        }
    }
    if (rings == 1) d->triangles.push_back({0, 1, 2});
    for (uint32_t r = 0; r + 1 < rings; ++r) {
        for (uint32_t s = 0; s < segments; ++s) {
            auto at = [&](uint32_t rr, uint32_t ss) {
                return static_cast<uint16_t>(rr * segments + ss % segments);
            };
            d->triangles.push_back({at(r, s), at(r, s + 1), at(r + 1, s)});
            d->triangles.push_back({at(r, s + 1), at(r + 1, s + 1), at(r + 1, s)});
        }
    }
    d->center = {0.0f, 0.0f, 2.0f * static_cast<float>(rings)};
    d->radius = 10.0f + 2.0f * static_cast<float>(rings);
    d->consistencyFlags = 0x4000;
    d->hasTriangles = 1;
    d->numTriangles = static_cast<uint16_t>(d->triangles.size());
    d->numTrianglePoints = 3 * static_cast<uint32_t>(d->triangles.size());
    return d;
}

// Weights of two bones along the cylinder's height.
std::unique_ptr<NifBlockNiSkinData> SkinData(const NifBlockTriShapeData& d) {
    auto skin = std::make_unique<NifBlockNiSkinData>();
    skin->numBones = 2;
    skin->hasVertexWeights = 1;
    for (int bone = 0; bone < 2; ++bone) {
        BoneData data;
        data.boundingSphereRadius = d.radius;
        for (size_t v = 0; v < d.vertices.size(); ++v) {
            const float share = static_cast<float>(v) / static_cast<float>(d.vertices.size());
            data.vertexWeights.push_back(
                {static_cast<uint16_t>(v), bone == 0 ? 1.0f - share : share});
        }
        data.numVertices = static_cast<uint16_t>(data.vertexWeights.size());
        skin->boneList.push_back(std::move(data));
    }
    return skin;
}

// The triangles cut into `parts` partitions in order, each with its own vertex map.
std::unique_ptr<NifBlockNiSkinPartition> Partitions(const NifBlockTriShapeData& d, uint32_t parts,
                                                    uint32_t userVersion) {
    auto result = std::make_unique<NifBlockNiSkinPartition>();
    const size_t per = (d.triangles.size() + parts - 1) / parts;
    for (uint32_t p = 0; p < parts; ++p) {
        const size_t first = p * per, last = std::min(d.triangles.size(), first + per);
        std::set<uint16_t> used;
        for (size_t t = first; t < last; ++t) {
            used.insert({d.triangles[t].v1, d.triangles[t].v2, d.triangles[t].v3});
        }
        SkinPartition part;
        part.vertexMap.assign(used.begin(), used.end());
        auto local = [&](uint16_t v) {
            return static_cast<uint16_t>(
                std::lower_bound(part.vertexMap.begin(), part.vertexMap.end(), v) -
                part.vertexMap.begin());
        };
        for (size_t t = first; t < last; ++t) {
            const Triangle& tri = d.triangles[t];
            part.triangles.push_back({local(tri.v1), local(tri.v2), local(tri.v3)});
        }
        part.numVertices = static_cast<uint16_t>(part.vertexMap.size());
        part.numTriangles = static_cast<uint16_t>(part.triangles.size());
        part.numBones = 2;
        part.bones = {0, 1};
        part.numWeightsPerVertex = 4;
        part.hasVertexMap = 1;
        part.hasVertexWeights = 1;
        part.hasFaces = 1;
        part.hasBoneIndices = 1;
        for (size_t v = 0; v < part.vertexMap.size(); ++v) {
            part.vertexWeights.push_back({0.5f, 0.5f, 0.0f, 0.0f});
            part.boneIndices.push_back({0, 1, 0, 0});
        }
        (void)userVersion;
        result->skinPartitions.push_back(std::move(part));
    }
    result->numSkinPartitions = parts;
    return result;
}

std::unique_ptr<NifBlockTriShape> Shape(SampleBuilder& b, const std::string& name, int32_t data,
                                        int32_t skin, std::vector<int32_t> properties) {
    auto shape = std::make_unique<NifBlockTriShape>();
    shape->nameIndex = b.String(name);
    shape->name = name;
    shape->flags = 14;
    shape->rotation.m[0] = shape->rotation.m[4] = shape->rotation.m[8] = 1.0f;
    shape->data = data;
    shape->skinInstance = skin;
    if (HasPropertyList(b.Header().userVersion)) {
        shape->numProperties = static_cast<uint32_t>(properties.size());
        shape->properties = std::move(properties);
    } else if (!properties.empty()) {
        shape->shaderProperty = properties[0];
        if (properties.size() > 1) shape->alphaProperty = properties[1];
    }
    return shape;
}

// Legacy property bodies in the Blender form's layout.
std::unique_ptr<NifBlock> MaterialProperty(SampleBuilder& b, const std::string& name) {
    NifWriter w;
    PutObjectNET(w, b.String(name));
    w.Vec3({0.9f, 0.9f, 0.9f});  // specular colour
    w.Vec3({0.0f, 0.0f, 0.0f});  // emissive colour
    w.F32(10.0f);                // glossiness
    w.F32(1.0f);                 // alpha
    w.F32(1.0f);                 // emissive multiple
    return OpaqueBlock("NiMaterialProperty", w);
}

std::unique_ptr<NifBlock> SpecularProperty() {
    NifWriter w;
    PutObjectNET(w, -1);
    w.U16(1);  // specular on
    return OpaqueBlock("NiSpecularProperty", w);
}

std::unique_ptr<NifBlock> StencilProperty() {
    NifWriter w;
    PutObjectNET(w, -1);
    w.U16(19840);  // flags: draw both sides
    w.U32(0);      // stencil reference
    w.U32(0xFFFFFFFF);
    return OpaqueBlock("NiStencilProperty", w);
}

std::unique_ptr<NifBlock> PPLightingProperty(int32_t textureSet) {
    NifWriter w;
    PutObjectNET(w, -1);
    w.U16(1);           // flags
    w.U32(1);           // shader type
    w.U32(0x82000103);  // shader flags
    w.U32(1);           // shader flags 2
    w.F32(1.0f);        // environment map scale
    w.U32(3);           // texture clamp mode
    w.I32(textureSet);
    w.F32(0.0f);  // refraction strength
    w.I32(0);     // refraction fire period
    w.F32(4.0f);  // parallax max passes
    w.F32(1.0f);  // parallax scale
    return OpaqueBlock("BSShaderPPLightingProperty", w);
}

std::unique_ptr<NifBlock> TextureSet(const std::vector<std::string>& paths) {
    NifWriter w;
    w.I32(static_cast<int32_t>(paths.size()));
    for (const std::string& p : paths) w.SizedString(p);
    return OpaqueBlock("BSShaderTextureSet", w);
}

std::unique_ptr<NifBlock> AlphaProperty(uint16_t flags, uint8_t threshold) {
    NifWriter w;
    PutObjectNET(w, -1);
    w.U16(flags);
    w.U8(threshold);
    return OpaqueBlock("NiAlphaProperty", w);
}

std::unique_ptr<NifBlock> Dismemberment(int32_t data, int32_t partition, int32_t root,
                                        std::vector<int32_t> bones, std::vector<uint16_t> parts) {
    auto skin = std::make_unique<NifBlockBSDismemberment>();
    skin->skinData = data;
    skin->skinPartition = partition;
    skin->skeletonRoot = root;
    skin->numBones = static_cast<uint32_t>(bones.size());
    skin->bones = std::move(bones);
    for (uint16_t part : parts) skin->partitions.push_back({257, part});
    skin->numPartitions = static_cast<int32_t>(skin->partitions.size());
    return skin;
}

std::vector<std::string> Textures(const std::string& stem) {
    return {"textures\\actors\\character\\" + stem + ".dds",
            "textures\\actors\\character\\" + stem + "_msn.dds",
            "",
            "",
            "",
            "",
            "",
            "",
            ""};
}

}  // namespace

NifFile MakeBodyMesh(bool tiny) {
    SampleBuilder b(kBlenderUserVersion, kBlenderUserVersion2);
    const int32_t root = b.Reserve(), body = b.Reserve();
    const int32_t spine = b.Reserve(), arm = tiny ? spine : b.Reserve();
    const int32_t torso = b.Reserve(), hands = b.Reserve(), feet = b.Reserve();
    b.Set(root, Node(b, "Scene Root", {body}), "NiNode");
    std::vector<int32_t> children = {spine, arm, torso, hands, feet};
    if (tiny) children.erase(children.begin() + 1);
    b.Set(body, Node(b, "FemaleBody", children), "NiNode");
    b.Set(spine, Node(b, "NPC Spine [Spn0]", {}), "NiNode");
    if (!tiny) b.Set(arm, Node(b, "NPC L UpperArm [LUar]", {}), "NiNode");

    const int32_t material = b.Add(MaterialProperty(b, "Skin"), "NiMaterialProperty");
    const int32_t specular = b.Add(SpecularProperty(), "NiSpecularProperty");
    const int32_t stencil = b.Add(StencilProperty(), "NiStencilProperty");
    const int32_t set = b.Reserve();
    const int32_t lighting = b.Add(PPLightingProperty(set), "BSShaderPPLightingProperty");
    b.Set(set,
          TextureSet(tiny ? std::vector<std::string>{"a.dds", "b.dds"} : Textures("femalebody_1")),
          "BSShaderTextureSet");
    const int32_t alpha = b.Add(AlphaProperty(4845, 96), "NiAlphaProperty");

    auto torsoData = tiny ? Geometry(1, 3, false, false) : Geometry(6, 8, true, false);
    const int32_t skinData = b.Add(SkinData(*torsoData), "NiSkinData");
    const int32_t partition =
        b.Add(Partitions(*torsoData, 3, kBlenderUserVersion), "NiSkinPartition");
    const int32_t torsoGeometry = b.Add(std::move(torsoData), "NiTriShapeData");
    const int32_t skin = b.Add(Dismemberment(skinData, partition, body, {spine, arm}, {0, 3, 7}),
                               "BSDismemberSkinInstance");
    b.Set(torso, Shape(b, "Body", torsoGeometry, skin, {material, specular, stencil, lighting}),
          "NiTriShape");
    // The small fixture lets hands and feet share one geometry block.
    const int32_t handsGeometry =
        b.Add(tiny ? Geometry(1, 3, false, true) : Geometry(3, 6, true, true), "NiTriShapeData");
    b.Set(hands, Shape(b, "Hands", handsGeometry, -1, {material, lighting, alpha}), "NiTriShape");
    const int32_t feetGeometry =
        tiny ? handsGeometry : b.Add(Geometry(2, 5, false, false), "NiTriShapeData");
    b.Set(feet, Shape(b, "Feet", feetGeometry, -1, {specular, stencil}), "NiTriShape");
    return b.Finish();
}

NifFile MakeSampleMesh() {
    return MakeBodyMesh(false);
}

namespace {

struct LibraryShader {
    const char* name;
    uint32_t type;
    uint16_t flags1;
    uint32_t flags2;
    const char* texture;
};

// Skin shaders have model-space normals (0x1000 of the first flags word) and the FaceGen tint
// bit (0x20 of the second part); "FaceTint" has only the tint bit.
constexpr LibraryShader kLibraryShaders[] = {
    {"SkinBody", 5, 0x1001, 0x00200020, "femalebody_1"},
    {"SkinHands", 5, 0x1001, 0x00200020, "femalehands_1"},
    {"Hair (A)", 6, 0x0001, 0x00008000, "hair"},
    {"Metal", 1, 0x0081, 0x00008000, "metal"},
    {"FaceTint", 0, 0x0001, 0x00000020, "face"},
    {"Plain", 0, 0x0001, 0x00008000, "plain"},
};

}  // namespace

NifFile MakeSampleLibrary() {
    SampleBuilder b(kGameUserVersion, kGameUserVersion2);
    const int32_t root = b.Reserve();
    for (const LibraryShader& entry : kLibraryShaders) {
        auto shader = std::make_unique<NifBlockBSLightShadeProp>();
        shader->shaderType = entry.type;
        shader->nameIndex = b.String(entry.name);
        shader->name = entry.name;
        shader->flagsPart1 = entry.flags1;
        shader->flagsPart2 = entry.flags2;
        shader->flagsPart3 = 0x3F800000;  // last bytes of the flags and the UV offset
        shader->valuesBeforeTextureSet = {0, 0x3F800000, 0x3F800000};
        shader->valuesAfterTextureSet = {0x3F800000, 3, 0x3F800000, 0x3F800000, 0};
        shader->shadingFloats = {0x3F800000, 0x3F800000, 0x3F800000, 0x41200000, 0x3F800000,
                                 0x3E800000, 0x3F800000, 0x3F000000, 0x3F800000};
        shader->tail = {0x3F800000, 0x3F000000, 0x3E800000, 0, 0, 0, 0};
        const int32_t shaderIndex = b.Reserve();
        shader->textureSet = b.Add(TextureSet(Textures(entry.texture)), "BSShaderTextureSet");
        b.Set(shaderIndex, std::move(shader), "BSLightingShaderProperty");
    }
    b.Set(root, Node(b, "ShaderLibrary", {}), "NiNode");
    return b.Finish();
}

std::string SampleConfigXml() {
    return "<?xml version=\"1.0\" ?>\n"
           "<PellmarConfig>\n"
           "    <ShaderLibraryFile>ShaderLibrary.nif</ShaderLibraryFile>\n"
           "    <AlphaFlagsValue>4844</AlphaFlagsValue>\n"
           "    <AlphaThreshold>128</AlphaThreshold>\n"
           "    <TestMode>false</TestMode>\n"
           "</PellmarConfig>\n";
}

NifFile MakeLargeMesh(uint32_t vertices, uint32_t userVersion, uint32_t userVersion2) {
    SampleBuilder b(userVersion, userVersion2);
    const bool game = !HasPropertyList(userVersion);
    const uint32_t perShape = 30000, segments = 100;
    const uint32_t shapes = std::max<uint32_t>(1, (vertices + perShape - 1) / perShape);
    const int32_t root = b.Reserve();
    const int32_t bone = b.Add(Node(b, "NPC Root [Root]", {}), "NiNode");
    std::vector<int32_t> children = {bone};
    const NifFile library = game ? MakeSampleLibrary() : NifFile();
    for (uint32_t s = 0; s < shapes; ++s) {
        const uint32_t count = std::min(perShape, vertices - s * perShape);
        auto geometry = Geometry(std::max<uint32_t>(2, count / segments), segments, true, false);
        const int32_t skinData = b.Add(SkinData(*geometry), "NiSkinData");
        const int32_t partition = b.Add(Partitions(*geometry, 3, userVersion), "NiSkinPartition");
        const int32_t data = b.Add(std::move(geometry), "NiTriShapeData");
        const int32_t skin = b.Add(Dismemberment(skinData, partition, root, {bone, bone},
                                                 {static_cast<uint16_t>(game ? 32 : 0), 3, 7}),
                                   "BSDismemberSkinInstance");
        std::vector<int32_t> properties;
        if (game) {
            auto shader = library.blocks[1]->Clone();
            static_cast<NifBlockBSLightShadeProp&>(*shader).nameIndex = -1;
            const int32_t shaderIndex = b.Reserve();
            const int32_t set = b.Add(TextureSet(Textures("femalebody_1")), "BSShaderTextureSet");
            static_cast<NifBlockBSLightShadeProp&>(*shader).textureSet = set;
            b.Set(shaderIndex, std::move(shader), "BSLightingShaderProperty");
            properties = {shaderIndex};
        } else {
            properties = {b.Add(MaterialProperty(b, "Skin"), "NiMaterialProperty"),
                          b.Add(SpecularProperty(), "NiSpecularProperty")};
        }
        const int32_t shape =
            b.Add(Shape(b, "Shape" + std::to_string(s), data, skin, properties), "NiTriShape");
        children.push_back(shape);
    }
    b.Set(root, Node(b, "Scene Root", children), "NiNode");
    return b.Finish();
}

NifFile MakeManyShapes(uint32_t shapes) {
    SampleBuilder b(kBlenderUserVersion, kBlenderUserVersion2);
    const int32_t root = b.Reserve();
    std::vector<int32_t> children;
    for (uint32_t i = 0; i < shapes; ++i) {
        const int32_t data = b.Add(Geometry(1, 3, false, false), "NiTriShapeData");
        children.push_back(
            b.Add(Shape(b, "Shape" + std::to_string(i), data, -1, {}), "NiTriShape"));
    }
    b.Set(root, Node(b, "Scene Root", children), "NiNode");
    return b.Finish();
}
