// Havok's units in the three forms. A Havok value is a length in Havok units, and the forms
// disagree on how long a Havok unit is: the Blender form (11/34, Fallout 3's) counts about 7
// scene units to one, the game forms (12/83, 12/100) about 70. The same collision therefore
// stores lengths ten times larger in the Blender form. Each Havok block names the fields of
// its body that are lengths (Lengths below); a form switch scales them, and comparisons
// read them in the game's units.
#pragma once

#include <cstdint>
#include <vector>

#include "Structs.h"

// Blender-form lengths per game-form length.
constexpr double kBlenderPerGameLength = 10.0;

class LengthVisitor {
  public:
    enum class Mode : uint8_t {
        kToBlender,  // game-form values become Blender-form values
        kToGame,     // Blender-form values become game-form values
        kCollect,    // values are appended to a list, in game-form units
        kGather,     // values are appended to a list as they are stored
        kAssign,     // values are taken from a list, in order
    };
    LengthVisitor(Mode mode, uint8_t form, std::vector<double>* out = nullptr)
        : mode_(mode), form_(form), out_(out) {}
    // Gathering or assigning the stored values.
    LengthVisitor(Mode mode, std::vector<float>* stored) : mode_(mode), form_(0), stored_(stored) {}

    // A length (power 1), a length squared (power 2: an inertia tensor's entries) or a value
    // per length (power -1: a quantisation scale).
    void Length(float& value, int power = 1);
    void Point(Vector3& p) {
        Length(p.x);
        Length(p.y);
        Length(p.z);
    }
    // The first three components; the fourth is no length.
    void Point(Vector4& p) {
        Length(p.x);
        Length(p.y);
        Length(p.z);
    }
    // The translation of a 4x4 transform stored column by column.
    void Translation(Matrix44& m) {
        Length(m.m[12]);
        Length(m.m[13]);
        Length(m.m[14]);
    }

  private:
    Mode mode_;
    uint8_t form_;  // the form the values are in when collecting
    std::vector<double>* out_ = nullptr;
    std::vector<float>* stored_ = nullptr;
    size_t next_ = 0;
};

// value in game-form units -> Blender-form units, and back. The way to the Blender form picks,
// among the floats nearest the exact result, one that comes back to exactly `value`, so a
// game mesh sent to Blender and cleaned again keeps its bytes wherever a float allows it.
float HavokToBlender(float value, int power);
float HavokToGame(float value, int power);
