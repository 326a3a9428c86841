// Shapes between the geometry layouts: NiTriShape with NiTriShapeData (11/34 and 12/83) and
// the Special Edition's BSTriShape family with packed vertex records (12/100).
#pragma once

#include <string>
#include <vector>

#include "Geometry.h"
#include "NifFile.h"

// Empty when every shape of the file can take the target form's layout; otherwise why not
// (vertex records of an unknown layout, more than four weights per vertex, more than 256
// bones in a skin).
std::string CheckShapesConvertible(const NifFile& file, uint8_t to);

// Told about each shape a form switch converts: Before with the shape as it is, After with
// what it became at the same block index, before the next shape is converted.
class ShapeWatcher {
  public:
    virtual ~ShapeWatcher() = default;
    virtual void Before(const NifFile& file, uint32_t shape) = 0;
    virtual void After(const NifFile& file, uint32_t shape) = 0;
};

// Whether a switch from one form to the other converts this block's geometry layout (packs or
// unpacks it).
bool ConvertsLayout(const NiObject& block, uint8_t from, uint8_t to);

// NiTriShape and NiTriStrips (strips become triangle lists) become BSTriShape, or
// BSDynamicTriShape for head parts; BSSegmentedTriShape becomes BSSubIndexTriShape. The
// vertex count and order stay. A skinned shape keeps its packed records and triangles in its
// skin partition, whose records name the skin's bones (each partition lists them all); the
// shape itself holds none. The file's blocks stay in the 12/83 meaning until the caller sets
// the user versions. A data block that only packed shapes used is emptied as soon as the last
// of them is packed and leaves at the end.
void PackShapes(NifFile& file, std::vector<std::string>& notes, ShapeWatcher* watcher = nullptr);
// The BSTriShape family becomes NiTriShape with a new NiTriShapeData, from the shape's
// records or, for a skinned shape, its partition's; skin partitions drop their packed
// records (and get weights back from them when they had none).
void UnpackShapes(NifFile& file, std::vector<std::string>& notes, ShapeWatcher* watcher = nullptr);

// The triangles of strips: every other triangle turned back to the strip's winding, triangles
// that repeat a vertex left out.
std::vector<Triangle> StripsToTriangles(const std::vector<std::vector<uint16_t>>& strips);

// A head part takes BSDynamicTriShape: its lighting shader has the FaceGen detail-map flag,
// or its dismember skin has the head's bone set (body part 230).
bool IsHeadPart(const NifFile& file, BlockRef shader, BlockRef skin);

// The start-net-bone-set flag of a dismemberment's body parts as real files set it: on the
// first partition and on every partition whose bone list differs from the one before, and
// nowhere else.
void SetBoneSetFlags(BSDismemberSkinInstance& parts, const NiSkinPartition& skin);
