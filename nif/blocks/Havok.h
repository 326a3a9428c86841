// Havok collision: world objects (rigid bodies, phantoms), their shapes, constraints and
// actions, and the collision objects that tie them to scene nodes.
//
// Collision layers and materials are numbered differently in the Fallout 3 form (11/34) and
// in the game forms (12/83, 12/100); blocks convert them by name when the file changes form.
#pragma once

#include <array>
#include <string>

#include "HavokUnits.h"
#include "Structs.h"

// ---- Layer and material conversion between the Fallout 3 numbering and Skyrim's
// The value of a collision layer in form `to` for its value in form `from` (FormBits). Values
// are paired by name; the others keep their number where it is free in the target numbering
// and otherwise take one of the numbers left over, so that every conversion can be undone.
// *note (when not null) receives a sentence for a value without a named counterpart, and is
// cleared otherwise.
uint8_t MapLayer(uint8_t value, uint8_t from, uint8_t to, std::string* note);
// The same for a Havok material (a small index in 11/34, a name hash in the game forms).
uint32_t MapMaterial(uint32_t value, uint8_t from, uint8_t to, std::string* note);

// ---- Fixed records: their memory layout is their file layout
#pragma pack(push, 1)
// A collision filter. The layer is a Fallout 3 layer in 11/34 and a Skyrim layer otherwise.
struct HavokFilter {
    uint8_t layer = 0;
    uint8_t flags = 0;  // bits 0-4 biped part, 5 MOPP scaled, 6 no collision, 7 linked group
    uint16_t group = 0;
};
struct hkSubPartData {
    HavokFilter filter;
    uint32_t numVertices = 0;
    uint32_t material = 0;
};
struct hkAabb {
    Vector4 min;
    Vector4 max;
};
struct bhkWorldObjCInfoProperty {
    uint32_t data = 0, size = 0, capacityAndFlags = 0;
};
struct bhkWorldObjectCInfo {
    std::array<uint8_t, 4> unused1{};
    uint8_t broadPhaseType = 0;
    std::array<uint8_t, 3> unused2{};
    bhkWorldObjCInfoProperty property;
};
struct bhkEntityCInfo {
    uint8_t collisionResponse = 0;
    uint8_t unused1 = 0;
    uint16_t processContactCallbackDelay = 0;
};
struct hkMatrix3 {
    float m[12] = {};  // three rows of four
};
struct hkQuaternion {
    float x = 0, y = 0, z = 0, w = 1;
};
struct bhkPositionConstraintMotor {
    float minForce = 0, maxForce = 0, tau = 0, damping = 0;
    float proportionalRecoveryVelocity = 0, constantRecoveryVelocity = 0;
    uint8_t enabled = 0;
};
struct bhkVelocityConstraintMotor {
    float minForce = 0, maxForce = 0, tau = 0, targetVelocity = 0;
    uint8_t useVelocityTarget = 0;
    uint8_t enabled = 0;
};
struct bhkSpringDamperConstraintMotor {
    float minForce = 0, maxForce = 0, springConstant = 0, springDamping = 0;
    uint8_t enabled = 0;
};
struct bhkHingeConstraintCInfo {
    Vector4 axisA, perpAxisInA1, perpAxisInA2, pivotA;
    Vector4 axisB, perpAxisInB1, perpAxisInB2, pivotB;
};
struct bhkBallAndSocketConstraintCInfo {
    Vector4 pivotA, pivotB;
};
struct bhkStiffSpringConstraintCInfo {
    Vector4 pivotA, pivotB;
    float length = 0;
};
struct TriangleData {
    Triangle triangle;
    uint16_t weldingInfo = 0;
};
struct bhkMeshMaterial {
    uint32_t material = 0;  // always a Skyrim material: the type exists in the game forms only
    HavokFilter filter;
};
struct bhkCMSBigTri {
    Triangle triangle;
    uint32_t material = 0;  // an index into the chunk materials
    uint16_t weldingInfo = 0;
};
struct bhkQsTransform {
    Vector4 translation;
    hkQuaternion rotation;
};
struct UshortVector3 {
    uint16_t x = 0, y = 0, z = 0;
};
struct BoxBV {
    Vector3 center;
    Vector3 axis[3];
    Vector3 extent;
};
struct CapsuleBV {
    Vector3 center;
    Vector3 origin;
    float extent = 0;
    float radius = 0;
};
struct HalfSpaceBV {
    NiPlane plane;
    Vector3 center;
};
#pragma pack(pop)
static_assert(sizeof(HavokFilter) == 4 && sizeof(hkSubPartData) == 12 && sizeof(hkAabb) == 32 &&
              sizeof(bhkWorldObjCInfoProperty) == 12 && sizeof(bhkWorldObjectCInfo) == 20 &&
              sizeof(bhkEntityCInfo) == 4 && sizeof(hkMatrix3) == 48 &&
              sizeof(bhkPositionConstraintMotor) == 25 &&
              sizeof(bhkVelocityConstraintMotor) == 18 &&
              sizeof(bhkSpringDamperConstraintMotor) == 17 &&
              sizeof(bhkHingeConstraintCInfo) == 128 &&
              sizeof(bhkBallAndSocketConstraintCInfo) == 32 &&
              sizeof(bhkStiffSpringConstraintCInfo) == 36 && sizeof(TriangleData) == 8 &&
              sizeof(bhkMeshMaterial) == 8 && sizeof(bhkCMSBigTri) == 12 &&
              sizeof(bhkQsTransform) == 32 && sizeof(UshortVector3) == 6 && sizeof(BoxBV) == 60 &&
              sizeof(CapsuleBV) == 32 && sizeof(HalfSpaceBV) == 28);

// Converts the layer of a filter and a material between the numberings of two forms.
void SwitchFilter(HavokFilter& filter, uint8_t from, uint8_t to, std::vector<std::string>& notes);
void SwitchMaterial(uint32_t& material, uint8_t from, uint8_t to, std::vector<std::string>& notes);

// ---- Described structures
// The lengths of the fixed constraint records: their pivots (and a spring's length).
inline void Lengths(LengthVisitor& v, bhkBallAndSocketConstraintCInfo& c) {
    v.Point(c.pivotA);
    v.Point(c.pivotB);
}
inline void Lengths(LengthVisitor& v, bhkHingeConstraintCInfo& c) {
    v.Point(c.pivotA);
    v.Point(c.pivotB);
}
inline void Lengths(LengthVisitor& v, bhkStiffSpringConstraintCInfo& c) {
    v.Point(c.pivotA);
    v.Point(c.pivotB);
    v.Length(c.length);
}

struct bhkConstraintCInfo {
    uint32_t numEntities = 2;
    BlockRef entityA = kNoBlock;
    BlockRef entityB = kNoBlock;
    uint32_t priority = 1;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(numEntities);
        v.Ref(entityA, RefKind::kBack, TypeId::bhkEntity);
        v.Ref(entityB, RefKind::kBack, TypeId::bhkEntity);
        v.V(priority);
    }
};

struct bhkConstraintChainCInfo {
    std::vector<BlockRef> chainedEntities;
    bhkConstraintCInfo info;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.RefList(kCount32, chainedEntities, RefKind::kBack, TypeId::bhkRigidBody);
        v.Struct(info);
    }
};

// A motor: its type (0 none, 1 position, 2 velocity, 3 spring damper) picks the record.
struct bhkConstraintMotorCInfo {
    uint8_t type = 0;
    bhkPositionConstraintMotor position;
    bhkVelocityConstraintMotor velocity;
    bhkSpringDamperConstraintMotor springDamper;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(type);
        if (type == 1) v.V(position);
        if (type == 2) v.V(velocity);
        if (type == 3) v.V(springDamper);
    }
};

struct bhkRagdollConstraintCInfo {
    Vector4 twistA, planeA, motorA, pivotA;
    Vector4 twistB, planeB, motorB, pivotB;
    float coneMaxAngle = 0, planeMinAngle = 0, planeMaxAngle = 0;
    float twistMinAngle = 0, twistMaxAngle = 0, maxFriction = 0;
    bhkConstraintMotorCInfo motor;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        for (Vector4* x : {&twistA, &planeA, &motorA, &pivotA, &twistB, &planeB, &motorB, &pivotB})
            v.V(*x);
        for (float* x : {&coneMaxAngle, &planeMinAngle, &planeMaxAngle, &twistMinAngle,
                         &twistMaxAngle, &maxFriction})
            v.V(*x);
        v.Struct(motor);
    }
    void Lengths(LengthVisitor& v) {
        v.Point(pivotA);
        v.Point(pivotB);
    }
};

struct bhkLimitedHingeConstraintCInfo {
    bhkHingeConstraintCInfo axes;  // the same eight vectors as a plain hinge
    float minAngle = 0, maxAngle = 0, maxFriction = 0;
    bhkConstraintMotorCInfo motor;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(axes, minAngle, maxAngle, maxFriction);
        v.Struct(motor);
    }
    void Lengths(LengthVisitor& v) { ::Lengths(v, axes); }
};

struct bhkPrismaticConstraintCInfo {
    Vector4 slidingA, rotationA, planeA, pivotA;
    Vector4 slidingB, rotationB, planeB, pivotB;
    float minDistance = 0, maxDistance = 0, friction = 0;
    bhkConstraintMotorCInfo motor;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        for (Vector4* x :
             {&slidingA, &rotationA, &planeA, &pivotA, &slidingB, &rotationB, &planeB, &pivotB})
            v.V(*x);
        v.V(minDistance, maxDistance, friction);
        v.Struct(motor);
    }
    void Lengths(LengthVisitor& v) {
        v.Point(pivotA);
        v.Point(pivotB);
        v.Length(minDistance);
        v.Length(maxDistance);
    }
};

// The data of one constraint of any kind; the constraint type picks which part is stored
// (0 ball and socket, 1 hinge, 2 limited hinge, 6 prismatic, 7 ragdoll, 8 stiff spring).
struct ConstraintVariants {
    bhkBallAndSocketConstraintCInfo ballAndSocket;
    bhkHingeConstraintCInfo hinge;
    bhkLimitedHingeConstraintCInfo limitedHinge;
    bhkPrismaticConstraintCInfo prismatic;
    bhkRagdollConstraintCInfo ragdoll;
    bhkStiffSpringConstraintCInfo stiffSpring;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint32_t type) {
        if (type == 0) v.V(ballAndSocket);
        if (type == 1) v.V(hinge);
        if (type == 2) v.Struct(limitedHinge);
        if (type == 6) v.Struct(prismatic);
        if (type == 7) v.Struct(ragdoll);
        if (type == 8) v.V(stiffSpring);
    }
    void Lengths(LengthVisitor& v, uint32_t type) {
        if (type == 0) ::Lengths(v, ballAndSocket);
        if (type == 1) ::Lengths(v, hinge);
        if (type == 2) limitedHinge.Lengths(v);
        if (type == 6) prismatic.Lengths(v);
        if (type == 7) ragdoll.Lengths(v);
        if (type == 8) ::Lengths(v, stiffSpring);
    }
};

struct bhkMalleableConstraintCInfo {
    uint32_t type = 0;
    bhkConstraintCInfo info;
    ConstraintVariants data;
    float strength = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(type);
        v.Struct(info);
        v.Struct(data, type);
        v.V(strength);
    }
    void Lengths(LengthVisitor& v) { data.Lengths(v, type); }
};

// A constraint wrapped by a breakable one: any kind, malleable (type 13) included.
struct bhkWrappedConstraintData {
    uint32_t type = 0;
    bhkConstraintCInfo info;
    ConstraintVariants data;
    bhkMalleableConstraintCInfo malleable;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(type);
        v.Struct(info);
        v.Struct(data, type);
        if (type == 13) v.Struct(malleable);
    }
    void Lengths(LengthVisitor& v) {
        data.Lengths(v, type);
        if (type == 13) malleable.Lengths(v);
    }
};

// The creation info of a rigid body. One set of members serves both records that store it:
// the Havok 5.5/6.6 record of 11/34 and the Havok 2010 record of the game forms, so that a
// form switch keeps every value by meaning. Members one record lacks keep their values in
// memory; when read from a file of the other form they hold the defaults below.
struct bhkRigidBodyCInfo {
    static constexpr bool kRecordLayout = true;  // see Visitor.h
    std::array<uint8_t, 4> unused1{};
    HavokFilter filter;
    std::array<uint8_t, 4> unused2{};
    uint32_t unknownInt1 = 0;  // 2010 only
    uint8_t collisionResponse = 1;
    uint8_t unused3 = 0;
    uint16_t processContactCallbackDelay = 0xFFFF;
    std::array<uint8_t, 4> unused4{};  // 5.5/6.6 only
    Vector4 translation;
    hkQuaternion rotation;
    Vector4 linearVelocity;
    Vector4 angularVelocity;
    hkMatrix3 inertiaTensor;
    Vector4 center;
    float mass = 1;
    float linearDamping = 0.1f;
    float angularDamping = 0.05f;
    float timeFactor = 1;     // 2010 only
    float gravityFactor = 1;  // 2010 only
    float friction = 0.5f;
    float rollingFrictionMultiplier = 0;  // 2010 only
    float restitution = 0.4f;
    float maxLinearVelocity = 104.4f;
    float maxAngularVelocity = 31.57f;
    float penetrationDepth = 0.15f;
    uint8_t motionSystem = 1;
    uint8_t deactivatorType = 1;
    uint8_t solverDeactivation = 1;
    uint8_t qualityType = 1;
    uint8_t autoRemoveLevel = 0;             // 2010 only
    uint8_t responseModifierFlags = 0;       // 2010 only
    uint8_t numShapeKeysInContactPoint = 3;  // 2010 only; the game's own meshes hold 3
    uint8_t forceCollidedOntoPPU = 0;        // 2010 only
    std::array<uint8_t, 12> unused5{};

    template <class FieldVisitor>

    void Fields(FieldVisitor& v) {
        const bool havok2010 = v.In(kFormsGame);
        v.V(unused1, filter, unused2);
        if (havok2010) v.V(unknownInt1);
        v.V(collisionResponse, unused3, processContactCallbackDelay);
        if (!havok2010) v.V(unused4);
        v.V(translation, rotation, linearVelocity, angularVelocity, inertiaTensor, center, mass,
            linearDamping, angularDamping);
        if (havok2010) {
            v.V(timeFactor, gravityFactor);
        }
        v.V(friction);
        if (havok2010) v.V(rollingFrictionMultiplier);
        v.V(restitution, maxLinearVelocity, maxAngularVelocity, penetrationDepth, motionSystem,
            deactivatorType, solverDeactivation, qualityType);
        if (havok2010) {
            v.V(autoRemoveLevel, responseModifierFlags, numShapeKeysInContactPoint,
                forceCollidedOntoPPU);
        }
        v.V(unused5);
    }
    // The body's place and centre of mass; the inertia tensor holds mass times length squared.
    void Lengths(LengthVisitor& v) {
        v.Point(translation);
        v.Point(center);
        for (float& x : inertiaTensor.m) v.Length(x, 2);
    }
};

// The MOPP code of a bounding-volume tree: a byte program over the shape's parts.
struct hkpMoppCode {
    Vector4 offset;
    uint8_t buildType = 2;  // game forms only
    std::vector<uint8_t> data;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        uint32_t n = static_cast<uint32_t>(data.size());
        v.Count(n);
        v.V(offset);
        if (v.In(kFormsGame)) v.V(buildType);
        v.Array(data, n);
    }
};

// One chunk of a compressed mesh: quantized vertices around a translation, strips and
// triangles as indices into them.
struct bhkCMSChunk {
    Vector4 translation;
    uint32_t materialIndex = 0;
    uint16_t reference = 0;
    uint16_t transformIndex = 0;
    uint32_t numVertices = 0;  // coordinates: three per vertex
    std::vector<UshortVector3> vertices;
    std::vector<uint16_t> indices;
    std::vector<uint16_t> strips;
    std::vector<uint16_t> weldingInfo;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(translation, materialIndex, reference, transformIndex);
        v.Count(numVertices);
        v.Array(vertices, numVertices / 3);
        v.List(kCount32, indices);
        v.List(kCount32, strips);
        v.List(kCount32, weldingInfo);
    }
    // The quantised vertices are steps of the data's error from the translation: they stay.
    void Lengths(LengthVisitor& v) { v.Point(translation); }
};

// A bounding volume of the old collision data; a union holds further volumes.
struct BoundingVolume {
    uint32_t type = 0xFFFFFFFF;  // 0 sphere, 1 box, 2 capsule, 4 union, 5 half space
    NiBound sphere;
    BoxBV box;
    CapsuleBV capsule;
    std::vector<BoundingVolume> children;
    HalfSpaceBV halfSpace;
    static constexpr uint32_t kMaxDepth = 16;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint32_t depth) {
        v.V(type);
        if (type == 0) v.V(sphere);
        if (type == 1) v.V(box);
        if (type == 2) v.V(capsule);
        if (type == 4) {
            // Unions nested deeper than any real file are refused rather than recursed into
            // (a reader meets this as a count the body cannot hold).
            if (depth >= kMaxDepth) {
                v.CheckCount(UINT64_MAX, 1);
                return;
            }
            v.StructList(kCount32, children, depth + 1);
        }
        if (type == 5) v.V(halfSpace);
    }
};

// ---- Blocks
class bhkRefObject : public NiObject {
  public:
    NIF_BASE(bhkRefObject)
};
class bhkSerializable : public bhkRefObject {
  public:
    NIF_BASE(bhkSerializable)
};

class bhkWorldObject : public bhkSerializable {
  public:
    NIF_BASE(bhkWorldObject)
    BlockRef shape = kNoBlock;
    HavokFilter filter;
    bhkWorldObjectCInfo worldObjectInfo;
    NIF_FIELDS(v) {
        v.Ref(shape, RefKind::kOwned, TypeId::bhkShape);
        v.V(filter, worldObjectInfo);
    }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        SwitchFilter(filter, from, to, notes);
    }
};

class bhkPhantom : public bhkWorldObject {
  public:
    NIF_BASE(bhkPhantom)
};

class bhkAabbPhantom : public bhkPhantom {
  public:
    NIF_BLOCK(bhkAabbPhantom)
    std::array<uint8_t, 8> unused1{};
    hkAabb aabb;
    NIF_FIELDS(v) {
        bhkPhantom::Describe(v);
        v.V(unused1, aabb);
    }
    void Lengths(LengthVisitor& v) override {
        v.Point(aabb.min);
        v.Point(aabb.max);
    }
};

class bhkShapePhantom : public bhkPhantom {
  public:
    NIF_BASE(bhkShapePhantom)
};

class bhkSimpleShapePhantom : public bhkShapePhantom {
  public:
    NIF_BLOCK(bhkSimpleShapePhantom)
    std::array<uint8_t, 8> unused1{};
    Matrix44 transform;
    NIF_FIELDS(v) {
        bhkShapePhantom::Describe(v);
        v.V(unused1, transform);
    }
    void Lengths(LengthVisitor& v) override { v.Translation(transform); }
};

class bhkEntity : public bhkWorldObject {
  public:
    NIF_BASE(bhkEntity)
    bhkEntityCInfo entityInfo;
    NIF_FIELDS(v) {
        bhkWorldObject::Describe(v);
        v.V(entityInfo);
    }
};

class bhkRigidBody : public bhkEntity {
  public:
    NIF_BLOCK(bhkRigidBody)
    bhkRigidBodyCInfo info;
    std::vector<BlockRef> constraints;
    uint32_t bodyFlags = 0;  // a ushort in the game forms
    NIF_FIELDS(v) {
        bhkEntity::Describe(v);
        v.Struct(info);
        v.RefList(kCount32, constraints, RefKind::kOwned, TypeId::bhkSerializable);
        if (v.In(kForm34)) {
            v.V(bodyFlags);
        } else {
            uint16_t flags = static_cast<uint16_t>(bodyFlags);
            v.V(flags);
            if (v.Reading() || v.Mode() == VisitMode::kRandom) bodyFlags = flags;
        }
    }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override;
    void Lengths(LengthVisitor& v) override { info.Lengths(v); }
};

class bhkRigidBodyT : public bhkRigidBody {
  public:
    NIF_BLOCK(bhkRigidBodyT)
};

class bhkAction : public bhkSerializable {
  public:
    NIF_BASE(bhkAction)
};

class bhkUnaryAction : public bhkAction {
  public:
    NIF_BASE(bhkUnaryAction)
    BlockRef entity = kNoBlock;
    std::array<uint8_t, 8> unused1{};
    NIF_FIELDS(v) {
        v.Ref(entity, RefKind::kBack, TypeId::bhkRigidBody);
        v.V(unused1);
    }
};

class bhkOrientHingedBodyAction : public bhkUnaryAction {
  public:
    NIF_BLOCK(bhkOrientHingedBodyAction)
    std::array<uint8_t, 8> unused2{};
    Vector4 hingeAxisLS;
    Vector4 forwardLS;
    float strength = 0, damping = 0;
    std::array<uint8_t, 8> unused3{};
    NIF_FIELDS(v) {
        bhkUnaryAction::Describe(v);
        v.V(unused2, hingeAxisLS, forwardLS, strength, damping, unused3);
    }
};

class bhkLiquidAction : public bhkAction {
  public:
    NIF_BLOCK(bhkLiquidAction)
    std::array<uint8_t, 12> unused1{};
    float initialStickForce = 0, stickStrength = 0, neighborDistance = 0, neighborStrength = 0;
    NIF_FIELDS(v) {
        v.V(unused1, initialStickForce, stickStrength, neighborDistance, neighborStrength);
    }
};

class bhkConstraint : public bhkSerializable {
  public:
    NIF_BASE(bhkConstraint)
    bhkConstraintCInfo info;
    NIF_FIELDS(v) { v.Struct(info); }
};

// The constraint types that add one record of their own to the common part.
#define NIF_HAVOK_CONSTRAINT(T, Record, visit)                                \
    class T : public bhkConstraint {                                          \
      public:                                                                 \
        NIF_BLOCK(T)                                                          \
        Record constraint;                                                    \
        NIF_FIELDS(v) {                                                       \
            bhkConstraint::Describe(v);                                       \
            v.visit(constraint);                                              \
        }                                                                     \
        void Lengths(LengthVisitor& v) override { LengthsOf(v, constraint); } \
    };
// The lengths of a constraint record, fixed or described.
template <class Record>
void LengthsOf(LengthVisitor& v, Record& r) {
    if constexpr (requires { r.Lengths(v); }) {
        r.Lengths(v);
    } else {
        Lengths(v, r);
    }
}
NIF_HAVOK_CONSTRAINT(bhkLimitedHingeConstraint, bhkLimitedHingeConstraintCInfo, Struct)
NIF_HAVOK_CONSTRAINT(bhkMalleableConstraint, bhkMalleableConstraintCInfo, Struct)
NIF_HAVOK_CONSTRAINT(bhkStiffSpringConstraint, bhkStiffSpringConstraintCInfo, V)
NIF_HAVOK_CONSTRAINT(bhkRagdollConstraint, bhkRagdollConstraintCInfo, Struct)
NIF_HAVOK_CONSTRAINT(bhkPrismaticConstraint, bhkPrismaticConstraintCInfo, Struct)
NIF_HAVOK_CONSTRAINT(bhkHingeConstraint, bhkHingeConstraintCInfo, V)
NIF_HAVOK_CONSTRAINT(bhkBallAndSocketConstraint, bhkBallAndSocketConstraintCInfo, V)
#undef NIF_HAVOK_CONSTRAINT

class bhkBreakableConstraint : public bhkConstraint {
  public:
    NIF_BLOCK(bhkBreakableConstraint)
    bhkWrappedConstraintData constraintData;
    float threshold = 0;
    uint8_t removeWhenBroken = 0;
    NIF_FIELDS(v) {
        bhkConstraint::Describe(v);
        v.Struct(constraintData);
        v.V(threshold, removeWhenBroken);
    }
    void Lengths(LengthVisitor& v) override { constraintData.Lengths(v); }
};

class bhkBallSocketConstraintChain : public bhkSerializable {
  public:
    NIF_BLOCK(bhkBallSocketConstraintChain)
    std::vector<bhkBallAndSocketConstraintCInfo> pivots;
    float tau = 0, damping = 0, constraintForceMixing = 0, maxErrorDistance = 0;
    bhkConstraintChainCInfo chainInfo;
    NIF_FIELDS(v) {
        // The file counts pivot points: two per entry.
        uint32_t numPivots = static_cast<uint32_t>(pivots.size() * 2);
        v.Count(numPivots);
        v.Array(pivots, numPivots / 2);
        v.V(tau, damping, constraintForceMixing, maxErrorDistance);
        v.Struct(chainInfo);
    }
    void Lengths(LengthVisitor& v) override {
        for (bhkBallAndSocketConstraintCInfo& p : pivots) ::Lengths(v, p);
        v.Length(maxErrorDistance);
    }
};

// ---- Shapes
class bhkShape : public bhkSerializable {
  public:
    NIF_BASE(bhkShape)
};

// The fields of a shape placed by a transform; the two transform shapes differ only in the
// family of shape they hold.
struct TransformedShape {
    BlockRef shape = kNoBlock;
    uint32_t material = 0;
    float radius = 0;
    std::array<uint8_t, 8> unused1{};
    Matrix44 transform;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, TypeId shapeFamily) {
        v.Ref(shape, RefKind::kOwned, shapeFamily);
        v.V(material, radius, unused1, transform);
    }
    void Lengths(LengthVisitor& v) {
        v.Length(radius);
        v.Translation(transform);
    }
};

class bhkTransformShape : public bhkShape, public TransformedShape {
  public:
    NIF_BLOCK(bhkTransformShape)
    NIF_FIELDS(v) { TransformedShape::Fields(v, TypeId::bhkShape); }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        SwitchMaterial(material, from, to, notes);
    }
    void Lengths(LengthVisitor& v) override { TransformedShape::Lengths(v); }
};

class bhkConvexShapeBase : public bhkShape {
  public:
    NIF_BASE(bhkConvexShapeBase)
};

class bhkSphereRepShape : public bhkConvexShapeBase {
  public:
    NIF_BASE(bhkSphereRepShape)
    uint32_t material = 0;
    NIF_FIELDS(v) { v.V(material); }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        SwitchMaterial(material, from, to, notes);
    }
};

class bhkConvexShape : public bhkSphereRepShape {
  public:
    NIF_BASE(bhkConvexShape)
    float radius = 0;  // the shell around the shape (a sphere's own radius)
    NIF_FIELDS(v) {
        bhkSphereRepShape::Describe(v);
        v.V(radius);
    }
    void Lengths(LengthVisitor& v) override { v.Length(radius); }
};

class bhkSphereShape : public bhkConvexShape {
  public:
    NIF_BLOCK(bhkSphereShape)
};

class bhkCylinderShape : public bhkConvexShape {
  public:
    NIF_BLOCK(bhkCylinderShape)
    std::array<uint8_t, 8> unused1{};
    Vector4 vertexA, vertexB;
    float cylinderRadius = 0;
    std::array<uint8_t, 12> unused2{};
    NIF_FIELDS(v) {
        bhkConvexShape::Describe(v);
        v.V(unused1, vertexA, vertexB, cylinderRadius, unused2);
    }
    void Lengths(LengthVisitor& v) override {
        bhkConvexShape::Lengths(v);
        v.Point(vertexA);
        v.Point(vertexB);
        v.Length(cylinderRadius);
    }
};

class bhkCapsuleShape : public bhkConvexShape {
  public:
    NIF_BLOCK(bhkCapsuleShape)
    std::array<uint8_t, 8> unused1{};
    Vector3 firstPoint;
    float radius1 = 0;
    Vector3 secondPoint;
    float radius2 = 0;
    NIF_FIELDS(v) {
        bhkConvexShape::Describe(v);
        v.V(unused1, firstPoint, radius1, secondPoint, radius2);
    }
    void Lengths(LengthVisitor& v) override {
        bhkConvexShape::Lengths(v);
        v.Point(firstPoint);
        v.Length(radius1);
        v.Point(secondPoint);
        v.Length(radius2);
    }
};

class bhkBoxShape : public bhkConvexShape {
  public:
    NIF_BLOCK(bhkBoxShape)
    std::array<uint8_t, 8> unused1{};
    Vector3 dimensions;
    float unusedFloat = 0;
    NIF_FIELDS(v) {
        bhkConvexShape::Describe(v);
        v.V(unused1, dimensions, unusedFloat);
    }
    void Lengths(LengthVisitor& v) override {
        bhkConvexShape::Lengths(v);
        v.Point(dimensions);
    }
};

class bhkConvexVerticesShape : public bhkConvexShape {
  public:
    NIF_BLOCK(bhkConvexVerticesShape)
    bhkWorldObjCInfoProperty verticesProperty, normalsProperty;
    std::vector<Vector4> vertices;
    std::vector<Vector4> normals;  // planes: normal and distance
    NIF_FIELDS(v) {
        bhkConvexShape::Describe(v);
        v.V(verticesProperty, normalsProperty);
        v.List(kCount32, vertices);
        v.List(kCount32, normals);
    }
    // Vertices, and each plane's distance (its normal is no length).
    void Lengths(LengthVisitor& v) override {
        bhkConvexShape::Lengths(v);
        for (Vector4& p : vertices) v.Point(p);
        for (Vector4& n : normals) v.Length(n.w);
    }
};

class bhkMultiSphereShape : public bhkSphereRepShape {
  public:
    NIF_BLOCK(bhkMultiSphereShape)
    bhkWorldObjCInfoProperty shapeProperty;
    std::vector<NiBound> spheres;
    NIF_FIELDS(v) {
        bhkSphereRepShape::Describe(v);
        v.V(shapeProperty);
        v.List(kCount32, spheres);
    }
    void Lengths(LengthVisitor& v) override {
        for (NiBound& b : spheres) {
            v.Point(b.center);
            v.Length(b.radius);
        }
    }
};

class bhkConvexTransformShape : public bhkConvexShapeBase, public TransformedShape {
  public:
    NIF_BLOCK(bhkConvexTransformShape)
    NIF_FIELDS(v) { TransformedShape::Fields(v, TypeId::bhkConvexShape); }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        SwitchMaterial(material, from, to, notes);
    }
    void Lengths(LengthVisitor& v) override { TransformedShape::Lengths(v); }
};

class bhkHeightFieldShape : public bhkShape {
  public:
    NIF_BASE(bhkHeightFieldShape)
    uint32_t material = 0;
    NIF_FIELDS(v) { v.V(material); }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        SwitchMaterial(material, from, to, notes);
    }
};

class bhkPlaneShape : public bhkHeightFieldShape {
  public:
    NIF_BLOCK(bhkPlaneShape)
    std::array<uint8_t, 12> unused1{};
    Vector3 planeNormal;
    float planeConstant = 0;
    Vector4 aabbHalfExtents;
    Vector4 aabbCenter;
    NIF_FIELDS(v) {
        bhkHeightFieldShape::Describe(v);
        v.V(unused1, planeNormal, planeConstant, aabbHalfExtents, aabbCenter);
    }
    void Lengths(LengthVisitor& v) override {
        v.Length(planeConstant);
        v.Point(aabbHalfExtents);
        v.Point(aabbCenter);
    }
};

class bhkBvTreeShape : public bhkShape {
  public:
    NIF_BASE(bhkBvTreeShape)
    BlockRef shape = kNoBlock;
    NIF_FIELDS(v) { v.Ref(shape, RefKind::kOwned, TypeId::bhkShape); }
};

class bhkMoppBvTreeShape : public bhkBvTreeShape {
  public:
    NIF_BLOCK(bhkMoppBvTreeShape)
    std::array<uint8_t, 12> unused1{};
    float scale = 1;
    hkpMoppCode mopp;
    NIF_FIELDS(v) {
        bhkBvTreeShape::Describe(v);
        v.V(unused1, scale);
        v.Struct(mopp);
    }
    // The MOPP code's origin, and in the offset's fourth component its quantisation scale
    // (steps per length): the code itself stays valid.
    void Lengths(LengthVisitor& v) override {
        v.Point(mopp.offset);
        v.Length(mopp.offset.w, -1);
    }
};

class bhkShapeCollection : public bhkShape {
  public:
    NIF_BASE(bhkShapeCollection)
};

class bhkListShape : public bhkShapeCollection {
  public:
    NIF_BLOCK(bhkListShape)
    // Parallel to filters: a removed shape keeps its slot as -1.
    std::vector<BlockRef> subShapes;
    uint32_t material = 0;
    bhkWorldObjCInfoProperty childShapeProperty, childFilterProperty;
    std::vector<HavokFilter> filters;
    NIF_FIELDS(v) {
        uint32_t n = static_cast<uint32_t>(subShapes.size());
        v.Count(n);
        v.Refs(subShapes, n, RefKind::kOwned, TypeId::bhkShape, false);
        v.V(material, childShapeProperty, childFilterProperty);
        v.List(kCount32, filters);
    }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        SwitchMaterial(material, from, to, notes);
        for (HavokFilter& f : filters) SwitchFilter(f, from, to, notes);
    }
};

class bhkPackedNiTriStripsShape : public bhkShapeCollection {
  public:
    NIF_BLOCK(bhkPackedNiTriStripsShape)
    uint32_t userData = 0;
    std::array<uint8_t, 4> unused1{};
    float radius = 0.1f;
    std::array<uint8_t, 4> unused2{};
    Vector4 scale;
    float radiusCopy = 0.1f;
    Vector4 scaleCopy;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        v.V(userData, unused1, radius, unused2, scale, radiusCopy, scaleCopy);
        v.Ref(data, RefKind::kOwned, TypeId::hkPackedNiTriStripsData);
    }
    void Lengths(LengthVisitor& v) override {
        v.Length(radius);
        v.Length(radiusCopy);
    }
};

class bhkNiTriStripsShape : public bhkShapeCollection {
  public:
    NIF_BLOCK(bhkNiTriStripsShape)
    uint32_t material = 0;
    float radius = 0.1f;
    std::array<uint8_t, 20> unused1{};
    uint32_t growBy = 1;
    Vector4 scale;
    // Parallel to filters: a removed strips block keeps its slot as -1.
    std::vector<BlockRef> stripsData;
    std::vector<HavokFilter> filters;
    NIF_FIELDS(v) {
        v.V(material, radius, unused1, growBy, scale);
        uint32_t n = static_cast<uint32_t>(stripsData.size());
        v.Count(n);
        v.Refs(stripsData, n, RefKind::kOwned, TypeId::NiTriStripsData, false);
        v.List(kCount32, filters);
    }
    void Lengths(LengthVisitor& v) override { v.Length(radius); }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        SwitchMaterial(material, from, to, notes);
        for (HavokFilter& f : filters) SwitchFilter(f, from, to, notes);
    }
};

// Triangles and vertices of a packed strips shape, with the filter and material of each part.
class hkPackedNiTriStripsData : public bhkShapeCollection {
  public:
    NIF_BLOCK(hkPackedNiTriStripsData)
    std::vector<TriangleData> triangles;
    uint8_t compressed = 0;
    std::vector<Vector3> vertices;                // when not compressed
    std::vector<HalfVector3> compressedVertices;  // when compressed
    std::vector<hkSubPartData> subShapes;
    NIF_FIELDS(v) {
        v.List(kCount32, triangles);
        uint32_t n =
            static_cast<uint32_t>(compressed ? compressedVertices.size() : vertices.size());
        v.Count(n);
        v.V(compressed);
        if (compressed) {
            v.Array(compressedVertices, n);
        } else {
            v.Array(vertices, n);
        }
        v.List(kCount16, subShapes);
    }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        for (hkSubPartData& s : subShapes) {
            SwitchFilter(s.filter, from, to, notes);
            SwitchMaterial(s.material, from, to, notes);
        }
    }
    void Lengths(LengthVisitor& v) override;
};

class bhkCompressedMeshShape : public bhkShape {
  public:
    NIF_BLOCK(bhkCompressedMeshShape)
    BlockRef target = kNoBlock;
    uint32_t userData = 0;
    float radius = 0.005f;
    float unknownFloat1 = 0;
    Vector4 scale;
    float radiusCopy = 0.005f;
    Vector4 scaleCopy;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        v.Ref(target, RefKind::kBack, TypeId::NiAVObject);
        v.V(userData, radius, unknownFloat1, scale, radiusCopy, scaleCopy);
        v.Ref(data, RefKind::kOwned, TypeId::bhkCompressedMeshShapeData);
    }
    void Lengths(LengthVisitor& v) override {
        v.Length(radius);
        v.Length(radiusCopy);
    }
};

class bhkCompressedMeshShapeData : public bhkRefObject {
  public:
    NIF_BLOCK(bhkCompressedMeshShapeData)
    uint32_t bitsPerIndex = 0, bitsPerWIndex = 0, maskWIndex = 0, maskIndex = 0;
    float error = 0;
    hkAabb aabb;
    uint8_t weldingType = 0;
    uint8_t materialType = 0;
    std::vector<uint32_t> materials32, materials16, materials8;
    std::vector<bhkMeshMaterial> chunkMaterials;
    uint32_t numNamedMaterials = 0;
    std::vector<bhkQsTransform> chunkTransforms;
    std::vector<Vector4> bigVerts;
    std::vector<bhkCMSBigTri> bigTris;
    std::vector<bhkCMSChunk> chunks;
    uint32_t numConvexPieceA = 0;
    NIF_FIELDS(v) {
        v.V(bitsPerIndex, bitsPerWIndex, maskWIndex, maskIndex, error, aabb, weldingType,
            materialType);
        v.List(kCount32, materials32);
        v.List(kCount32, materials16);
        v.List(kCount32, materials8);
        v.List(kCount32, chunkMaterials);
        v.V(numNamedMaterials);
        v.List(kCount32, chunkTransforms);
        v.List(kCount32, bigVerts);
        v.List(kCount32, bigTris);
        v.StructList(kCount32, chunks);
        v.V(numConvexPieceA);
    }
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        for (bhkMeshMaterial& m : chunkMaterials) {
            SwitchMaterial(m.material, from, to, notes);
            SwitchFilter(m.filter, from, to, notes);
        }
    }
    // The quantisation step (error), the bounds, the chunks' and transforms' translations and
    // the vertices kept whole.
    void Lengths(LengthVisitor& v) override {
        v.Length(error);
        v.Point(aabb.min);
        v.Point(aabb.max);
        for (bhkQsTransform& t : chunkTransforms) v.Point(t.translation);
        for (Vector4& p : bigVerts) v.Point(p);
        for (bhkCMSChunk& c : chunks) c.Lengths(v);
    }
};

// ---- Collision objects: a scene node's link to its collision
class NiCollisionObject : public NiObject {
  public:
    NIF_BLOCK(NiCollisionObject)
    BlockRef target = kNoBlock;
    NIF_FIELDS(v) { v.Ref(target, RefKind::kBack, TypeId::NiAVObject); }
};

class NiCollisionData : public NiCollisionObject {
  public:
    NIF_BLOCK(NiCollisionData)
    uint32_t propagationMode = 0;
    uint32_t collisionMode = 0;
    uint8_t useABV = 0;
    BoundingVolume boundingVolume;
    NIF_FIELDS(v) {
        NiCollisionObject::Describe(v);
        v.V(propagationMode, collisionMode, useABV);
        if (useABV == 1) v.Struct(boundingVolume, 0u);
    }
};

class bhkNiCollisionObject : public NiCollisionObject {
  public:
    NIF_BASE(bhkNiCollisionObject)
    uint16_t flags = 1;  // bit 0 active, bit 7 sync on update, ...
    BlockRef body = kNoBlock;
    NIF_FIELDS(v) {
        NiCollisionObject::Describe(v);
        v.V(flags);
        v.Ref(body, RefKind::kOwned, TypeId::bhkWorldObject);
    }
};

class bhkCollisionObject : public bhkNiCollisionObject {
  public:
    NIF_BLOCK(bhkCollisionObject)
};

class bhkBlendCollisionObject : public bhkCollisionObject {
  public:
    NIF_BLOCK(bhkBlendCollisionObject)
    float heirGain = 1, velGain = 1;
    NIF_FIELDS(v) {
        bhkCollisionObject::Describe(v);
        v.V(heirGain, velGain);
    }
};

class bhkPCollisionObject : public bhkNiCollisionObject {
  public:
    NIF_BLOCK(bhkPCollisionObject)
};

class bhkSPCollisionObject : public bhkPCollisionObject {
  public:
    NIF_BLOCK(bhkSPCollisionObject)
};
