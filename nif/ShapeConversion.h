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

// NiTriShape and NiTriStrips (strips become triangle lists) become BSTriShape, or
// BSDynamicTriShape for head parts; BSSegmentedTriShape becomes BSSubIndexTriShape. The
// vertex count and order stay. A skinned shape keeps its packed records and triangles in its
// skin partition, whose records name the skin's bones (each partition lists them all); the
// shape itself holds none. The file's blocks stay in the 12/83 meaning until the caller sets
// the user versions.
void PackShapes(NifFile& file, std::vector<std::string>& notes);
// The BSTriShape family becomes NiTriShape with a new NiTriShapeData, from the shape's
// records or, for a skinned shape, its partition's; skin partitions drop their packed
// records (and get weights back from them when they had none).
void UnpackShapes(NifFile& file, std::vector<std::string>& notes);

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
