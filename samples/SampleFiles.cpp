#include "SampleFiles.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "Animation.h"
#include "Geometry.h"
#include "Havok.h"
#include "SampleBuilder.h"
#include "Shaders.h"

namespace {

void Identity(Matrix33& m) {
    m = Matrix33{};
    m.m[0] = m.m[4] = m.m[8] = 1.0f;
}

std::unique_ptr<NiNode> Node(SampleBuilder& b, const std::string& name,
                             std::vector<int32_t> children) {
    auto node = std::make_unique<NiNode>();
    node->name = b.String(name);
    node->flags = 14;
    Identity(node->rotation);
    node->children = std::move(children);
    return node;
}

// A cylinder of rings x segments vertices with its triangles; one ring of three vertices is
// a single triangle.
std::unique_ptr<NiTriShapeData> Geometry(uint32_t rings, uint32_t segments, bool tangents,
                                         bool colors) {
    auto d = std::make_unique<NiTriShapeData>();
    d->numVertices = static_cast<uint16_t>(rings * segments);
    d->hasNormals = 1;
    d->dataFlags = tangents ? 0x1001 : 0x0001;
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
            d->uvs.push_back({static_cast<float>(s) / static_cast<float>(segments),
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
    d->bound.center = {0.0f, 0.0f, 2.0f * static_cast<float>(rings)};
    d->bound.radius = 10.0f + 2.0f * static_cast<float>(rings);
    d->consistencyFlags = 0x4000;
    d->hasTriangles = 1;
    d->numTriangles = static_cast<uint16_t>(d->triangles.size());
    d->numTrianglePoints = 3 * static_cast<uint32_t>(d->triangles.size());
    return d;
}

// Weights of two bones along the cylinder's height; identity skin transforms.
std::unique_ptr<NiSkinData> SkinData(const NiTriShapeData& d) {
    auto skin = std::make_unique<NiSkinData>();
    Identity(skin->skinTransform.rotation);
    skin->hasVertexWeights = 1;
    for (int bone = 0; bone < 2; ++bone) {
        BoneData data;
        Identity(data.skinTransform.rotation);
        data.bound.radius = d.bound.radius;
        for (size_t v = 0; v < d.vertices.size(); ++v) {
            const float share = static_cast<float>(v) / static_cast<float>(d.vertices.size());
            data.weights.push_back({static_cast<uint16_t>(v), bone == 0 ? 1.0f - share : share});
        }
        data.numVertices = static_cast<uint16_t>(data.weights.size());
        skin->bones.push_back(std::move(data));
    }
    return skin;
}

// The triangles cut into `parts` partitions in order, each with its own vertex map.
std::unique_ptr<NiSkinPartition> Partitions(const NiTriShapeData& d, uint32_t parts) {
    auto result = std::make_unique<NiSkinPartition>();
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
        part.bones = {0, 1};
        part.numWeightsPerVertex = 4;
        part.hasVertexMap = 1;
        part.hasVertexWeights = 1;
        part.hasFaces = 1;
        part.hasBoneIndices = 1;
        for (size_t v = 0; v < part.vertexMap.size(); ++v) {
            part.vertexWeights.insert(part.vertexWeights.end(), {0.5f, 0.5f, 0.0f, 0.0f});
            part.boneIndices.insert(part.boneIndices.end(), {0, 1, 0, 0});
        }
        result->partitions.push_back(std::move(part));
    }
    return result;
}

// A shape; in the Blender form its properties are listed, in the game form the first is the
// shader and the second the alpha property.
std::unique_ptr<NiTriShape> Shape(SampleBuilder& b, const std::string& name, int32_t data,
                                  int32_t skin, std::vector<int32_t> properties) {
    auto shape = std::make_unique<NiTriShape>();
    shape->name = b.String(name);
    shape->flags = 14;
    Identity(shape->rotation);
    shape->data = data;
    shape->skinInstance = skin;
    if (b.Form() == kForm34) {
        shape->properties = std::move(properties);
    } else if (!properties.empty()) {
        shape->shaderProperty = properties[0];
        if (properties.size() > 1) shape->alphaProperty = properties[1];
    }
    return shape;
}

std::unique_ptr<NiMaterialProperty> MaterialProperty(SampleBuilder& b, const std::string& name) {
    auto m = std::make_unique<NiMaterialProperty>();
    m->name = b.String(name);
    m->specular = {0.9f, 0.9f, 0.9f};
    m->glossiness = 10.0f;
    return m;
}

std::unique_ptr<NiSpecularProperty> SpecularProperty() {
    auto p = std::make_unique<NiSpecularProperty>();
    p->flags = 1;  // specular on
    return p;
}

std::unique_ptr<NiStencilProperty> StencilProperty() {
    auto p = std::make_unique<NiStencilProperty>();
    p->flags = 19840;  // draw both sides
    p->stencilMask = 0xFFFFFFFF;
    return p;
}

std::unique_ptr<BSShaderPPLightingProperty> PPLightingProperty(int32_t textureSet) {
    auto p = std::make_unique<BSShaderPPLightingProperty>();
    p->shadeFlags = 1;
    p->shaderType = 1;
    p->shaderFlags = 0x82000103;
    p->shaderFlags2 = 1;
    p->environmentMapScale = 1.0f;
    p->textureSet = textureSet;
    return p;
}

std::unique_ptr<BSShaderTextureSet> TextureSet(const std::vector<std::string>& paths) {
    auto set = std::make_unique<BSShaderTextureSet>();
    for (const std::string& p : paths) set->textures.push_back({p});
    return set;
}

std::unique_ptr<NiAlphaProperty> AlphaProperty(uint16_t flags, uint8_t threshold) {
    auto p = std::make_unique<NiAlphaProperty>();
    p->flags = flags;
    p->threshold = threshold;
    return p;
}

std::unique_ptr<BSDismemberSkinInstance> Dismemberment(int32_t data, int32_t partition,
                                                       int32_t root, std::vector<int32_t> bones,
                                                       std::vector<uint16_t> parts) {
    auto skin = std::make_unique<BSDismemberSkinInstance>();
    skin->data = data;
    skin->skinPartition = partition;
    skin->skeletonRoot = root;
    skin->bones = std::move(bones);
    // Every partition lists the same bones: only the first starts a bone set.
    for (uint16_t part : parts)
        skin->partitions.push_back({skin->partitions.empty() ? uint16_t{257} : uint16_t{1}, part});
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
    b.Set(root, Node(b, "Scene Root", {body}));
    std::vector<int32_t> children = {spine, arm, torso, hands, feet};
    if (tiny) children.erase(children.begin() + 1);
    b.Set(body, Node(b, "FemaleBody", children));
    b.Set(spine, Node(b, "NPC Spine [Spn0]", {}));
    if (!tiny) b.Set(arm, Node(b, "NPC L UpperArm [LUar]", {}));

    const int32_t material = b.Add(MaterialProperty(b, "Skin"));
    const int32_t specular = b.Add(SpecularProperty());
    const int32_t stencil = b.Add(StencilProperty());
    const int32_t set = b.Reserve();
    const int32_t lighting = b.Add(PPLightingProperty(set));
    b.Set(set,
          TextureSet(tiny ? std::vector<std::string>{"a.dds", "b.dds"} : Textures("femalebody_1")));
    const int32_t alpha = b.Add(AlphaProperty(4845, 96));

    auto torsoData = tiny ? Geometry(1, 3, false, false) : Geometry(6, 8, true, false);
    const int32_t skinData = b.Add(SkinData(*torsoData));
    const int32_t partition = b.Add(Partitions(*torsoData, 3));
    const int32_t torsoGeometry = b.Add(std::move(torsoData));
    const int32_t skin = b.Add(Dismemberment(skinData, partition, body, {spine, arm}, {0, 3, 7}));
    b.Set(torso, Shape(b, "Body", torsoGeometry, skin, {material, specular, stencil, lighting}));
    // The small fixture lets hands and feet share one geometry block.
    const int32_t handsGeometry =
        b.Add(tiny ? Geometry(1, 3, false, true) : Geometry(3, 6, true, true));
    b.Set(hands, Shape(b, "Hands", handsGeometry, -1, {material, lighting, alpha}));
    const int32_t feetGeometry = tiny ? handsGeometry : b.Add(Geometry(2, 5, false, false));
    b.Set(feet, Shape(b, "Feet", feetGeometry, -1, {specular, stencil}));
    return b.Finish();
}

NifFile MakeSampleMesh() {
    return MakeBodyMesh(false);
}

namespace {

struct LibraryShader {
    const char* name;
    uint32_t type;
    uint32_t flags1;
    uint32_t flags2;
    const char* texture;
};

// Every shader is Skinned (bit 1 of the first flags word), as the sample body is. Skin shaders
// use model-space normals (bit 12) and the FaceGen tint (bit 21); "FaceTint" has only the tint.
constexpr LibraryShader kLibraryShaders[] = {
    {"SkinBody", 5, 0x80201303, 0x02000001, "femalebody_1"},
    {"SkinHands", 5, 0x80201303, 0x02000001, "femalehands_1"},
    {"Hair (A)", 6, 0x80000303, 0x00008001, "hair"},
    {"Metal", 1, 0x80000383, 0x00008001, "metal"},
    {"FaceTint", 0, 0x80200303, 0x00000001, "face"},
    {"Plain", 0, 0x80000303, 0x00008001, "plain"},
};

// A box collision (collision object, rigid body, box shape of 1 x 2 x 3) for the node at
// `target`; the collision object's index.
int32_t BoxCollision(SampleBuilder& b, int32_t target, float radius) {
    auto box = std::make_unique<bhkBoxShape>();
    box->radius = radius;
    box->dimensions = {1.0f, 2.0f, 3.0f};
    auto body = std::make_unique<bhkRigidBody>();
    body->shape = b.Add(std::move(box));
    auto object = std::make_unique<bhkCollisionObject>();
    object->target = target;
    object->body = b.Add(std::move(body));
    return b.Add(std::move(object));
}

}  // namespace

NifFile MakeSampleLibrary() {
    SampleBuilder b(kGameUserVersion, kGameUserVersion2);
    const int32_t root = b.Reserve();
    for (const LibraryShader& entry : kLibraryShaders) {
        auto shader = std::make_unique<BSLightingShaderProperty>();
        shader->lightingShaderType = entry.type;
        shader->name = b.String(entry.name);
        shader->header.flags1 = entry.flags1;
        shader->header.flags2 = entry.flags2;
        shader->tintColor = {1.0f, 0.5f, 0.25f};
        const int32_t shaderIndex = b.Reserve();
        shader->textureSet = b.Add(TextureSet(Textures(entry.texture)));
        b.Set(shaderIndex, std::move(shader));
    }
    b.Set(root, Node(b, "ShaderLibrary", {}));
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
    return MakeSkinnedMesh(vertices, userVersion, userVersion2, 30000, false);
}

NifFile MakeSkinnedMesh(uint32_t vertices, uint32_t userVersion, uint32_t userVersion2,
                        uint32_t perShape, bool collision) {
    SampleBuilder b(userVersion, userVersion2);
    const bool game = FormOf(userVersion, userVersion2) != kForm34;
    const uint32_t segments = std::min<uint32_t>(100, std::max<uint32_t>(2, perShape / 20));
    const uint32_t shapes = std::max<uint32_t>(1, (vertices + perShape - 1) / perShape);
    const int32_t root = b.Reserve();
    const int32_t bone = b.Add(Node(b, "NPC Root [Root]", {}));
    std::vector<int32_t> children = {bone};
    const NifFile library = game ? MakeSampleLibrary() : NifFile();
    for (uint32_t s = 0; s < shapes; ++s) {
        const uint32_t count = std::min(perShape, vertices - s * perShape);
        auto geometry = Geometry(std::max<uint32_t>(2, count / segments), segments, true, false);
        const int32_t skinData = b.Add(SkinData(*geometry));
        const int32_t partition = b.Add(Partitions(*geometry, 3));
        const int32_t data = b.Add(std::move(geometry));
        const int32_t skin = b.Add(Dismemberment(skinData, partition, root, {bone, bone},
                                                 {static_cast<uint16_t>(game ? 32 : 0), 3, 7}));
        std::vector<int32_t> properties;
        if (game) {
            auto shader = std::make_unique<BSLightingShaderProperty>(
                *library.BlockAs<BSLightingShaderProperty>(1));
            shader->name = kNoString;
            const int32_t shaderIndex = b.Reserve();
            shader->textureSet = b.Add(TextureSet(Textures("femalebody_1")));
            b.Set(shaderIndex, std::move(shader));
            properties = {shaderIndex};
        } else {
            properties = {b.Add(MaterialProperty(b, "Skin")), b.Add(SpecularProperty())};
        }
        const int32_t shape = b.Add(Shape(b, "Shape" + std::to_string(s), data, skin, properties));
        children.push_back(shape);
    }
    auto scene = Node(b, "Scene Root", children);
    if (collision) scene->collisionObject = BoxCollision(b, root, 0.01f);
    b.Set(root, std::move(scene));
    return b.Finish();
}

NifFile MakeManyShapes(uint32_t shapes) {
    SampleBuilder b(kBlenderUserVersion, kBlenderUserVersion2);
    const int32_t root = b.Reserve();
    std::vector<int32_t> children;
    for (uint32_t i = 0; i < shapes; ++i) {
        const int32_t data = b.Add(Geometry(1, 3, false, false));
        children.push_back(b.Add(Shape(b, "Shape" + std::to_string(i), data, -1, {})));
    }
    b.Set(root, Node(b, "Scene Root", children));
    return b.Finish();
}

NifFile MakeCollisionScene(uint32_t blocks) {
    SampleBuilder b(kGameUserVersion, kGameUserVersion2);
    const int32_t root = b.Reserve();
    std::vector<int32_t> children;
    for (uint32_t i = 0; 1 + 7 * (i + 1) <= blocks; ++i) {
        const int32_t node = b.Reserve();
        auto n = Node(b, "Part" + std::to_string(i), {});
        n->collisionObject = BoxCollision(b, node, 0.0f);
        auto data = std::make_unique<NiTransformData>();
        data->translations.keyType = 1;
        for (int k = 0; k < 4; ++k) {
            Key<Vector3> key;
            key.time = float(k);
            key.value = {float(k), 0, 0};
            data->translations.keys.push_back(key);
        }
        auto interpolator = std::make_unique<NiTransformInterpolator>();
        interpolator->data = b.Add(std::move(data));
        auto controller = std::make_unique<NiTransformController>();
        controller->interpolator = b.Add(std::move(interpolator));
        controller->target = node;
        n->controller = b.Add(std::move(controller));
        b.Set(node, std::move(n));
        children.push_back(node);
    }
    b.Set(root, Node(b, "Scene Root", children));
    return b.Finish();
}
