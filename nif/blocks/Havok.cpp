// Collision layers and Havok materials between the Fallout 3 numbering (11/34) and Skyrim's
// (12/83, 12/100), the form switch of the blocks that hold them, and Havok's units.
#include "Havok.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "VertexData.h"

namespace {

struct NamedValue {
    uint32_t value;
    std::string name;  // without the enumeration's prefix
};

// Names compare without the MATERIAL_ part some Skyrim materials carry and without
// underscores: ANIM_STATIC and ANIMSTATIC name one layer.
std::string NameKey(std::string name) {
    if (name.rfind("MATERIAL_", 0) == 0) name.erase(0, 9);
    name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
    return name;
}

// A one-to-one mapping of all numbers between two numberings A and B. Values named alike on
// both sides are paired. Every other value keeps its number when no pair claims that number on
// the other side; the values whose number is claimed take, in ascending order, the numbers the
// pairs left free.
class Numbering {
  public:
    Numbering(std::vector<NamedValue> a, std::vector<NamedValue> b) {
        std::map<std::string, uint32_t> byKey;
        for (const NamedValue& n : b) byKey.emplace(NameKey(n.name), n.value);
        std::set<uint32_t> pairedA, pairedB;
        for (const NamedValue& n : a) {
            auto it = byKey.find(NameKey(n.name));
            if (it == byKey.end() || pairedB.count(it->second)) continue;
            Pair(n.value, it->second);
            pairedA.insert(n.value);
            pairedB.insert(it->second);
        }
        // A number of A without a pair that a pair claims in B, and the B numbers no pair and
        // no kept number reach: as many of each.
        std::vector<uint32_t> claimed, free;
        std::set_difference(pairedB.begin(), pairedB.end(), pairedA.begin(), pairedA.end(),
                            std::back_inserter(claimed));
        std::set_difference(pairedA.begin(), pairedA.end(), pairedB.begin(), pairedB.end(),
                            std::back_inserter(free));
        for (size_t i = 0; i < claimed.size(); ++i) toB_[claimed[i]] = free[i];
        for (size_t i = 0; i < free.size(); ++i) toA_[free[i]] = claimed[i];
        for (NamedValue& n : a) namesA_.emplace(n.value, std::move(n.name));
        for (NamedValue& n : b) namesB_.emplace(n.value, std::move(n.name));
        pairedA_ = std::move(pairedA);
        pairedB_ = std::move(pairedB);
    }

    // value of side A (toB) or B mapped to the other side; *note describes a value without a
    // named counterpart.
    uint32_t Map(uint32_t value, bool toB, const std::string& what, const char* fromPrefix,
                 const char* targetName, std::string* note) const {
        const auto& table = toB ? toB_ : toA_;
        const auto it = table.find(value);
        const uint32_t mapped = it == table.end() ? value : it->second;
        if (note) {
            note->clear();
            if (!(toB ? pairedA_ : pairedB_).count(value)) {
                const auto& names = toB ? namesA_ : namesB_;
                const auto name = names.find(value);
                *note = what + " " + std::to_string(value);
                if (name != names.end()) *note += " (" + (fromPrefix + name->second) + ")";
                *note += std::string(" has no ") + targetName + " counterpart; ";
                *note += (mapped == value ? "kept as " : "stored as ") + std::to_string(mapped);
            }
        }
        return mapped;
    }

  private:
    void Pair(uint32_t a, uint32_t b) {
        toB_[a] = b;
        toA_[b] = a;
    }
    std::map<uint32_t, uint32_t> toB_, toA_;
    std::map<uint32_t, std::string> namesA_, namesB_;
    std::set<uint32_t> pairedA_, pairedB_;
};

std::vector<NamedValue> Sequence(std::initializer_list<const char*> names) {
    std::vector<NamedValue> list;
    for (const char* n : names) list.push_back({static_cast<uint32_t>(list.size()), n});
    return list;
}

const Numbering& Layers() {
    static const Numbering layers(
        Sequence({"UNIDENTIFIED",
                  "STATIC",
                  "ANIM_STATIC",
                  "TRANSPARENT",
                  "CLUTTER",
                  "WEAPON",
                  "PROJECTILE",
                  "SPELL",
                  "BIPED",
                  "TREES",
                  "PROPS",
                  "WATER",
                  "TRIGGER",
                  "TERRAIN",
                  "TRAP",
                  "NONCOLLIDABLE",
                  "CLOUD_TRAP",
                  "GROUND",
                  "PORTAL",
                  "DEBRIS_SMALL",
                  "DEBRIS_LARGE",
                  "ACOUSTIC_SPACE",
                  "ACTORZONE",
                  "PROJECTILEZONE",
                  "GASTRAP",
                  "SHELLCASING",
                  "TRANSPARENT_SMALL",
                  "INVISIBLE_WALL",
                  "TRANSPARENT_SMALL_ANIM",
                  "DEADBIP",
                  "CHARCONTROLLER",
                  "AVOIDBOX",
                  "COLLISIONBOX",
                  "CAMERASPHERE",
                  "DOORDETECTION",
                  "CAMERAPICK",
                  "ITEMPICK",
                  "LINEOFSIGHT",
                  "PATHPICK",
                  "CUSTOMPICK1",
                  "CUSTOMPICK2",
                  "SPELLEXPLOSION",
                  "DROPPINGPICK",
                  "NULL"}),
        // Skyrim's layer 36 is spelled CAMERASHPERE in some lists; it is the camera sphere.
        Sequence({"UNIDENTIFIED",
                  "STATIC",
                  "ANIMSTATIC",
                  "TRANSPARENT",
                  "CLUTTER",
                  "WEAPON",
                  "PROJECTILE",
                  "SPELL",
                  "BIPED",
                  "TREES",
                  "PROPS",
                  "WATER",
                  "TRIGGER",
                  "TERRAIN",
                  "TRAP",
                  "NONCOLLIDABLE",
                  "CLOUD_TRAP",
                  "GROUND",
                  "PORTAL",
                  "DEBRIS_SMALL",
                  "DEBRIS_LARGE",
                  "ACOUSTIC_SPACE",
                  "ACTORZONE",
                  "PROJECTILEZONE",
                  "GASTRAP",
                  "SHELLCASING",
                  "TRANSPARENT_SMALL",
                  "INVISIBLE_WALL",
                  "TRANSPARENT_SMALL_ANIM",
                  "WARD",
                  "CHARCONTROLLER",
                  "STAIRHELPER",
                  "DEADBIP",
                  "BIPED_NO_CC",
                  "AVOIDBOX",
                  "COLLISIONBOX",
                  "CAMERASPHERE",
                  "DOORDETECTION",
                  "CONEPROJECTILE",
                  "CAMERAPICK",
                  "ITEMPICK",
                  "LINEOFSIGHT",
                  "PATHPICK",
                  "CUSTOMPICK1",
                  "CUSTOMPICK2",
                  "SPELLEXPLOSION",
                  "DROPPINGPICK",
                  "DEADACTORZONE",
                  "TRIGGER_FALLINGTRAP",
                  "NAVCUT",
                  "CRITTER",
                  "SPELLTRIGGER",
                  "LIVING_AND_DEAD_ACTORS",
                  "DETECTION",
                  "TRAP_TRIGGER"}));
    return layers;
}

// Fallout 3 materials: 32 base materials, then the same as platforms (32-63), stairs (64-95)
// and stair platforms (96-127).
std::vector<NamedValue> Fallout3Materials() {
    static const char* const kBase[] = {"STONE",
                                        "CLOTH",
                                        "DIRT",
                                        "GLASS",
                                        "GRASS",
                                        "METAL",
                                        "ORGANIC",
                                        "SKIN",
                                        "WATER",
                                        "WOOD",
                                        "HEAVY_STONE",
                                        "HEAVY_METAL",
                                        "HEAVY_WOOD",
                                        "CHAIN",
                                        "BOTTLECAP",
                                        "ELEVATOR",
                                        "HOLLOW_METAL",
                                        "SHEET_METAL",
                                        "SAND",
                                        "BROKEN_CONCRETE",
                                        "VEHICLE_BODY",
                                        "VEHICLE_PART_SOLID",
                                        "VEHICLE_PART_HOLLOW",
                                        "BARREL",
                                        "BOTTLE",
                                        "SODA_CAN",
                                        "PISTOL",
                                        "RIFLE",
                                        "SHOPPING_CART",
                                        "LUNCHBOX",
                                        "BABY_RATTLE",
                                        "RUBBER_BALL"};
    static const char* const kVariant[] = {"", "_PLATFORM", "_STAIRS", "_STAIRS_PLATFORM"};
    std::vector<NamedValue> list;
    for (uint32_t i = 0; i < 128; ++i)
        list.push_back({i, std::string(kBase[i % 32]) + kVariant[i / 32]});
    return list;
}

// Skyrim materials are name hashes.
std::vector<NamedValue> SkyrimMaterials() {
    return {{0u, "NONE"},
            {131151687u, "BROKEN_STONE"},
            {322207473u, "MATERIAL_CARRIAGE_WHEEL"},
            {346811165u, "MATERIAL_METAL_LIGHT"},
            {365420259u, "LIGHT_WOOD"},
            {398949039u, "SNOW"},
            {428587608u, "GRAVEL"},
            {438912228u, "MATERIAL_CHAIN_METAL"},
            {493553910u, "BOTTLE"},
            {500811281u, "WOOD"},
            {591247106u, "SKIN"},
            {617099282u, "UNKNOWN_617099282"},
            {732141076u, "BARREL"},
            {781661019u, "MATERIAL_CERAMIC_MEDIUM"},
            {790784366u, "MATERIAL_BASKET"},
            {873356572u, "ICE"},
            {880200008u, "STAIRS_GLASS"},
            {899511101u, "STAIRS_STONE"},
            {1024582599u, "WATER"},
            {1028101969u, "UNKNOWN_1028101969"},
            {1060167844u, "MATERIAL_BLADE_1HAND"},
            {1264672850u, "MATERIAL_BOOK"},
            {1286705471u, "MATERIAL_CARPET"},
            {1288358971u, "SOLID_METAL"},
            {1305674443u, "MATERIAL_AXE_1HAND"},
            {1440721808u, "UNKNOWN_1440721808"},
            {1461712277u, "STAIRS_WOOD"},
            {1486385281u, "MUD"},
            {1550912982u, "MATERIAL_BOULDER_SMALL"},
            {1560365355u, "STAIRS_SNOW"},
            {1570821952u, "HEAVY_STONE"},
            {1574477864u, "UNKNOWN_1574477864"},
            {1591009235u, "UNKNOWN_1591009235"},
            {1607128641u, "MATERIAL_BOWS_STAVES"},
            {1668849266u, "UNKNOWN_1668849266"},
            {1734341287u, "UNKNOWN_1734341287"},
            {1803571212u, "MATERIAL_WOOD_AS_STAIRS"},
            {1820198263u, "UNKNOWN_1820198263"},
            {1848600814u, "GRASS"},
            {1885326971u, "MATERIAL_BOULDER_LARGE"},
            {1886078335u, "MATERIAL_STONE_AS_STAIRS"},
            {2022742644u, "MATERIAL_BLADE_2HAND"},
            {2025794648u, "MATERIAL_BOTTLE_SMALL"},
            {2168343821u, "SAND"},
            {2229413539u, "HEAVY_METAL"},
            {2290050264u, "UNKNOWN_2290050264"},
            {2518321175u, "DRAGON"},
            {2617944780u, "MATERIAL_BLADE_1HAND_SMALL"},
            {2632367422u, "MATERIAL_SKIN_SMALL"},
            {2742858142u, "MATERIAL_POTS_PANS"},
            {2794252627u, "UNKNOWN_2794252627"},
            {2892392795u, "STAIRS_BROKEN_STONE"},
            {2965929619u, "MATERIAL_SKIN_LARGE"},
            {2974920155u, "ORGANIC"},
            {3049421844u, "MATERIAL_BONE"},
            {3070783559u, "HEAVY_WOOD"},
            {3074114406u, "MATERIAL_CHAIN"},
            {3106094762u, "DIRT"},
            {3387452107u, "MATERIAL_SKIN_METAL_LARGE"},
            {3424720541u, "MATERIAL_ARMOR_LIGHT"},
            {3448167928u, "MATERIAL_SHIELD_LIGHT"},
            {3589100606u, "MATERIAL_COIN"},
            {3702389584u, "MATERIAL_SHIELD_HEAVY"},
            {3708432437u, "MATERIAL_ARMOR_HEAVY"},
            {3725505938u, "MATERIAL_ARROW"},
            {3739830338u, "GLASS"},
            {3741512247u, "STONE"},
            {3764646153u, "MATERIAL_WATER_PUDDLE"},
            {3839073443u, "CLOTH"},
            {3855001958u, "MATERIAL_SKIN_METAL_SMALL"},
            {3895166727u, "WARD"},
            {3934839107u, "WEB"},
            {3941234649u, "UNKNOWN_3941234649"},
            {3969592277u, "MATERIAL_BLUNT_2HAND"},
            {3974071006u, "UNKNOWN_3974071006"},
            {4239621792u, "UNKNOWN_4239621792"},
            {4283869410u, "MATERIAL_BOULDER_MEDIUM"}};
}

const Numbering& Materials() {
    static const Numbering materials(Fallout3Materials(), SkyrimMaterials());
    return materials;
}

// Only a switch between 11/34 and a game form renumbers.
bool Renumbers(uint8_t from, uint8_t to) {
    return (from == kForm34) != (to == kForm34);
}

}  // namespace

uint8_t MapLayer(uint8_t value, uint8_t from, uint8_t to, std::string* note) {
    if (note) note->clear();
    if (!Renumbers(from, to)) return value;
    const bool toSkyrim = from == kForm34;
    return static_cast<uint8_t>(Layers().Map(value, toSkyrim, "Havok layer",
                                             toSkyrim ? "FOL_" : "SKYL_",
                                             toSkyrim ? "Skyrim" : "Fallout 3", note));
}

uint32_t MapMaterial(uint32_t value, uint8_t from, uint8_t to, std::string* note) {
    if (note) note->clear();
    if (!Renumbers(from, to)) return value;
    const bool toSkyrim = from == kForm34;
    return Materials().Map(value, toSkyrim, "Havok material",
                           toSkyrim ? "FO_HAV_MAT_" : "SKY_HAV_MAT_",
                           toSkyrim ? "Skyrim" : "Fallout 3", note);
}

void SwitchFilter(HavokFilter& filter, uint8_t from, uint8_t to, std::vector<std::string>& notes) {
    std::string note;
    filter.layer = MapLayer(filter.layer, from, to, &note);
    if (!note.empty()) notes.push_back(std::move(note));
}

void SwitchMaterial(uint32_t& material, uint8_t from, uint8_t to, std::vector<std::string>& notes) {
    std::string note;
    material = MapMaterial(material, from, to, &note);
    if (!note.empty()) notes.push_back(std::move(note));
}

void bhkRigidBody::SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) {
    bhkEntity::SwitchForm(from, to, notes);
    SwitchFilter(info.filter, from, to, notes);
    if (to != kForm34 && bodyFlags > 0xFFFF)
        notes.push_back("rigid body flags " + std::to_string(bodyFlags) +
                        " do not fit the game forms' 16 bits; the high bits are dropped");
}

// ---- Havok units

namespace {

bool SameBits(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

}  // namespace

float HavokToGame(float value, int power) {
    if (!std::isfinite(value)) return value;
    const double v = value;
    if (power == 2) return static_cast<float>(v / (kBlenderPerGameLength * kBlenderPerGameLength));
    if (power == -1) return static_cast<float>(v * kBlenderPerGameLength);
    return static_cast<float>(v / kBlenderPerGameLength);
}

float HavokToBlender(float value, int power) {
    if (!std::isfinite(value)) return value;
    const double v = value;
    const float guess = power == 2
                            ? static_cast<float>(v * kBlenderPerGameLength * kBlenderPerGameLength)
                        : power == -1 ? static_cast<float>(v / kBlenderPerGameLength)
                                      : static_cast<float>(v * kBlenderPerGameLength);
    if (!std::isfinite(guess) || SameBits(HavokToGame(guess, power), value)) return guess;
    // A neighbour of the nearest float may be the one that comes back exactly.
    float up = guess, down = guess;
    for (int step = 0; step < 4; ++step) {
        up = std::nextafter(up, INFINITY);
        if (SameBits(HavokToGame(up, power), value)) return up;
        down = std::nextafter(down, -INFINITY);
        if (SameBits(HavokToGame(down, power), value)) return down;
    }
    return guess;
}

void LengthVisitor::Length(float& value, int power) {
    switch (mode_) {
        case Mode::kToBlender:
            value = HavokToBlender(value, power);
            break;
        case Mode::kToGame:
            value = HavokToGame(value, power);
            break;
        case Mode::kGather:
            if (stored_) stored_->push_back(value);
            break;
        case Mode::kAssign:
            if (stored_ && next_ < stored_->size()) value = (*stored_)[next_++];
            break;
        case Mode::kCollect:
            if (out_) {
                const double k = form_ == kForm34 ? kBlenderPerGameLength : 1.0;
                out_->push_back(power == 2 ? value / (k * k) : power == -1 ? value * k : value / k);
            }
            break;
    }
}

void hkPackedNiTriStripsData::Lengths(LengthVisitor& v) {
    for (Vector3& p : vertices) v.Point(p);
    for (HalfVector3& h : compressedVertices) {
        Vector3 p{HalfToFloat(h.x), HalfToFloat(h.y), HalfToFloat(h.z)};
        v.Point(p);
        h = {FloatToHalf(p.x), FloatToHalf(p.y), FloatToHalf(p.z)};
    }
}
