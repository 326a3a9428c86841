#include "MeshCompare.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "BlockCopy.h"
#include "Havok.h"
#include "ShapeView.h"
#include "Visitors.h"

namespace {

// How far two stored values may be apart and still be the same value: what the coarser of
// the two layouts keeps. Packed records store normals, tangents and colours as bytes, UVs and
// weights as half floats; positions stay floats.
struct Tolerance {
    bool half = false;       // UVs and weights as half floats
    double position = 1e-6;  // relative, at least this much absolute
    double unit = 1e-6;      // normals, tangents, bitangents
    double color = 1e-6;
    // Two values of a half-float part are the same when one rounds to the other.
    bool Same(double a, double b) const {
        if (a == b) return true;
        if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
        const double size = std::max(std::fabs(a), std::fabs(b));
        if (!half) return std::fabs(a - b) <= 1e-6 * std::max(1.0, size);
        // A half float's step at this size: 2^-24 below the smallest normal, else 11 bits.
        // size is in [2^k, 2^(k+1)); k is read from the double's exponent bits.
        const int k = static_cast<int>((std::bit_cast<uint64_t>(size) >> 52) & 0x7FF) - 1023;
        const double step =
            std::bit_cast<double>(static_cast<uint64_t>(std::max(k, -14) - 10 + 1023) << 52);
        return std::fabs(a - b) <= step;
    }
};

Tolerance ToleranceFor(bool packed) {
    Tolerance t;
    if (!packed) return t;
    t.half = true;
    t.unit = 1.0 / 255.0 + 1e-4;   // a byte step of 2/255 rounded to the nearest
    t.color = 1.0 / 510.0 + 1e-5;  // a byte step of 1/255 rounded to the nearest
    return t;
}

std::string Number(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", x);
    return text;
}

double Distance(const Vector3& a, const Vector3& b) {
    const double dx = double{a.x} - b.x, dy = double{a.y} - b.y, dz = double{a.z} - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}
double Largest(const Vector3& a, const Vector3& b) {
    return std::max(
        {std::fabs(double{a.x} - b.x), std::fabs(double{a.y} - b.y), std::fabs(double{a.z} - b.z)});
}
// Two skin data blocks with the same weights for every bone, in the same order.
bool SameSkinData(const NiSkinData* a, const NiSkinData* b) {
    if (!a || !b || a->hasVertexWeights != b->hasVertexWeights ||
        a->bones.size() != b->bones.size())
        return false;
    for (size_t i = 0; i < a->bones.size(); ++i) {
        const auto& wa = a->bones[i].weights;
        const auto& wb = b->bones[i].weights;
        if (!std::equal(wa.begin(), wa.end(), wb.begin(), wb.end(),
                        [](const BoneVertData& x, const BoneVertData& y) {
                            // Bitwise, and copied out first: the records are packed.
                            const float fx = x.weight, fy = y.weight;
                            return x.index == y.index &&
                                   std::bit_cast<uint32_t>(fx) == std::bit_cast<uint32_t>(fy);
                        }))
            return false;
    }
    return true;
}

bool Nan(const Vector3& a) {
    return std::isnan(a.x) || std::isnan(a.y) || std::isnan(a.z);
}

// Counts the vertices whose values differ beyond the tolerance, and the largest deviation.
struct Deviation {
    size_t count = 0;    // vertices beyond the tolerance
    double largest = 0;  // over every vertex
    double worst = -1;   // over the vertices beyond the tolerance, at vertex `at`
    size_t at = 0;
    void Add(size_t v, double d, bool beyond) {
        if (std::isnan(d)) d = INFINITY;
        largest = std::max(largest, d);
        if (!beyond) return;
        ++count;
        if (d > worst) {
            worst = d;
            at = v;
        }
    }
};

uint32_t Lookup(const std::map<std::string, uint32_t>& map, const std::string& name) {
    uint32_t bits = 0;
    if (auto it = map.find(name); it != map.end()) bits |= it->second;
    if (auto it = map.find("*"); it != map.end()) bits |= it->second;
    return bits;
}

class ShapeComparer {
  public:
    ShapeComparer(const ShapeView& a, const ShapeView& b, const CompareOptions& options,
                  ShapeComparison& out)
        : a_(a),
          b_(b),
          allowed_(Lookup(options.allowed, a.Name()) | Lookup(options.allowed, b.Name())),
          mayAdd_(Lookup(options.mayAdd, a.Name()) | Lookup(options.mayAdd, b.Name())),
          out_(out),
          tol_(ToleranceFor(options.packedPrecision || a.Packed() || b.Packed())),
          bonesA_(a.BoneNames()),
          bonesB_(b.BoneNames()) {}

    void Run(bool geometryOnly) {
        const size_t n = a_.NumVertices(), m = b_.NumVertices();
        out_.vertices[0] = n;
        out_.vertices[1] = m;
        const std::vector<Triangle> ta = a_.Triangles(), tb = b_.Triangles();
        out_.triangles[0] = ta.size();
        out_.triangles[1] = tb.size();
        if (n != m) {
            Differ(kPartPositions, std::to_string(n) + " vertices became " + std::to_string(m));
        } else {
            Positions();
            Vectors(kPartNormals, "normals", &ShapeView::HasNormals, {&ShapeView::Normal},
                    out_.maxNormal);
            Vectors(kPartTangents, "tangents", &ShapeView::HasTangents,
                    {&ShapeView::Tangent, &ShapeView::Bitangent}, out_.maxTangent);
            UVs();
            Colors();
            Weights();
        }
        Triangles(ta, tb);
        Bones();
        if (!geometryOnly) Shader();
    }

  private:
    bool Allowed(uint32_t part) const { return (allowed_ & part) != 0; }

    void Differ(uint32_t part, const std::string& what) {
        if (Allowed(part)) return;
        out_.parts |= part;
        out_.differences.push_back(what);
    }

    // Presence first: a part one side has and the other lacks.
    bool BothHave(uint32_t part, const char* name, bool inA, bool inB) {
        if (inA && inB) return true;
        if (inA != inB && !(inB && (mayAdd_ & part))) {
            Differ(part, std::string(name) + ": " +
                             (inA ? "the first has them, the second not"
                                  : "the second has them, the first not"));
        }
        return false;
    }

    void Report(uint32_t part, const char* name, const Deviation& d) {
        if (d.count == 0) return;
        Differ(part, std::string(name) + ": " + std::to_string(d.count) + " of " +
                         std::to_string(a_.NumVertices()) + " vertices differ (largest " +
                         Number(d.worst) + " at vertex " + std::to_string(d.at) + ")");
    }

    void Positions() {
        Deviation d;
        for (size_t v = 0; v < a_.NumVertices(); ++v) {
            const Vector3 p = a_.Position(v), q = b_.Position(v);
            const double size = std::max(
                {1.0, std::fabs(double{p.x}), std::fabs(double{p.y}), std::fabs(double{p.z})});
            const double dist = Distance(p, q);
            d.Add(v, dist, Nan(p) != Nan(q) || (!Nan(p) && dist > tol_.position * size));
        }
        out_.maxPosition = d.largest;
        Report(kPartPositions, "positions", d);
    }

    using VectorOf = Vector3 (ShapeView::*)(size_t) const;
    void Vectors(uint32_t part, const char* name, bool (ShapeView::*has)() const,
                 std::initializer_list<VectorOf> parts, double& max) {
        if (!BothHave(part, name, (a_.*has)(), (b_.*has)())) return;
        Deviation d;
        for (size_t v = 0; v < a_.NumVertices(); ++v) {
            double worst = 0;
            bool beyond = false;
            for (VectorOf get : parts) {
                const Vector3 p = (a_.*get)(v), q = (b_.*get)(v);
                const double dev = Largest(p, q);
                worst = std::max(worst, dev);
                beyond = beyond || Nan(p) != Nan(q) || (!Nan(p) && dev > tol_.unit);
            }
            d.Add(v, worst, beyond);
        }
        max = d.largest;
        Report(part, name, d);
    }

    void UVs() {
        if (!BothHave(kPartUVs, "UVs", a_.HasUVs(), b_.HasUVs())) return;
        Deviation d;
        for (size_t v = 0; v < a_.NumVertices(); ++v) {
            const TexCoord p = a_.UV(v), q = b_.UV(v);
            const double du = std::fabs(double{p.u} - q.u), dv = std::fabs(double{p.v} - q.v);
            d.Add(v, std::max(du, dv), !tol_.Same(p.u, q.u) || !tol_.Same(p.v, q.v));
        }
        out_.maxUV = d.largest;
        Report(kPartUVs, "UVs", d);
    }

    void Colors() {
        if (!BothHave(kPartColors, "vertex colours", a_.HasColors(), b_.HasColors())) return;
        Deviation d;
        for (size_t v = 0; v < a_.NumVertices(); ++v) {
            const Color4 p = a_.Color(v), q = b_.Color(v);
            const double dev =
                std::max({std::fabs(double{p.r} - q.r), std::fabs(double{p.g} - q.g),
                          std::fabs(double{p.b} - q.b), std::fabs(double{p.a} - q.a)});
            d.Add(v, dev, !(dev <= tol_.color));
        }
        out_.maxColor = d.largest;
        Report(kPartColors, "vertex colours", d);
    }

    // Weights compare by bone name, so that two files may list their bones in other orders.
    void WeightsOf(const VertexWeights& wa, const VertexWeights& wb, const char* name) {
        const std::vector<std::string>&na = bonesA_, &nb = bonesB_;
        std::vector<int32_t> toA(nb.size(), -1);
        for (size_t j = 0; j < nb.size(); ++j) {
            for (size_t i = 0; i < na.size(); ++i) {
                if (na[i] == nb[j] && (i == j || toA[j] < 0)) toA[j] = static_cast<int32_t>(i);
            }
        }
        Deviation d;
        struct Pair {
            int32_t bone;  // in the first file's numbering; below 0 for bones only the second has
            double a = 0, b = 0;
        };
        std::vector<Pair> pairs;
        auto at = [&](int32_t bone) -> Pair& {
            for (Pair& p : pairs)
                if (p.bone == bone) return p;
            pairs.push_back({bone});
            return pairs.back();
        };
        bool sameBones = na.size() == nb.size();
        for (size_t j = 0; sameBones && j < nb.size(); ++j) sameBones = toA[j] == int32_t(j);
        for (size_t v = 0; v < a_.NumVertices(); ++v) {
            // The same bones in the same order within the tolerance: nothing to pair up.
            if (sameBones && v < wa.Vertices() && v < wb.Vertices() &&
                wa.start[v + 1] - wa.start[v] == wb.start[v + 1] - wb.start[v]) {
                bool same = true;
                double worst = 0;
                for (uint32_t e = wa.start[v], f = wb.start[v]; e < wa.start[v + 1] && same;
                     ++e, ++f) {
                    same = wa.entries[e].bone == wb.entries[f].bone &&
                           tol_.Same(wa.entries[e].weight, wb.entries[f].weight);
                    worst = std::max(
                        worst, std::fabs(double{wa.entries[e].weight} - wb.entries[f].weight));
                }
                if (same) {
                    d.Add(v, worst, false);
                    continue;
                }
            }
            pairs.clear();
            if (v < wa.Vertices()) {
                for (uint32_t e = wa.start[v]; e < wa.start[v + 1]; ++e)
                    at(wa.entries[e].bone).a += wa.entries[e].weight;
            }
            if (v < wb.Vertices()) {
                for (uint32_t e = wb.start[v]; e < wb.start[v + 1]; ++e) {
                    const uint16_t bone = wb.entries[e].bone;
                    at(bone < toA.size() && toA[bone] >= 0 ? toA[bone] : -1 - bone).b +=
                        wb.entries[e].weight;
                }
            }
            double worst = 0;
            bool beyond = false;
            for (const Pair& p : pairs) {
                worst = std::max(worst, std::fabs(p.a - p.b));
                beyond = beyond || !tol_.Same(p.a, p.b);
            }
            d.Add(v, worst, beyond);
        }
        out_.maxWeight = std::max(out_.maxWeight, d.largest);
        Report(kPartWeights, name, d);
    }

    void Weights() {
        if (!BothHave(kPartWeights, "skin", a_.IsSkinned(), b_.IsSkinned())) return;
        WeightsOf(a_.Weights(), b_.Weights(), "weights");
        // Skin data that a conversion kept as it was, over the same bones, agrees.
        if (SameSkinData(a_.SkinData(), b_.SkinData()) && bonesA_ == bonesB_) return;
        const VertexWeights da = a_.SkinDataWeights(), db = b_.SkinDataWeights();
        if (!da.entries.empty() && !db.entries.empty()) WeightsOf(da, db, "skin data weights");
    }

    void Bones() {
        if (!a_.IsSkinned() || !b_.IsSkinned()) return;
        const std::vector<std::string>&na = bonesA_, &nb = bonesB_;
        if (na == nb) return;
        std::string what =
            "bones: " + std::to_string(na.size()) + " became " + std::to_string(nb.size());
        for (size_t i = 0; i < std::max(na.size(), nb.size()); ++i) {
            const std::string x = i < na.size() ? na[i] : "(none)";
            const std::string y = i < nb.size() ? nb[i] : "(none)";
            if (x != y) {
                what += "; bone " + std::to_string(i) + " \"" + x + "\" became \"" + y + "\"";
                break;
            }
        }
        Differ(kPartBones, what);
    }

    // Triangles compare as a set that keeps each triangle's winding: the order of the list
    // and the corner a triangle starts at do not matter.
    void Triangles(const std::vector<Triangle>& ta, const std::vector<Triangle>& tb) {
        auto keys = [](const std::vector<Triangle>& list) {
            std::vector<std::array<uint16_t, 3>> k;
            k.reserve(list.size());
            for (const Triangle& t : list) k.push_back(CanonicalTriangle(t));
            std::sort(k.begin(), k.end());
            return k;
        };
        // Most conversions keep the order: compare in place before sorting.
        if (ta.size() == tb.size()) {
            size_t k = 0;
            while (k < ta.size() && CanonicalTriangle(ta[k]) == CanonicalTriangle(tb[k])) ++k;
            if (k == ta.size()) return;
        }
        const auto ka = keys(ta), kb = keys(tb);
        if (ka == kb) return;
        std::vector<std::array<uint16_t, 3>> only;
        std::set_symmetric_difference(ka.begin(), ka.end(), kb.begin(), kb.end(),
                                      std::back_inserter(only));
        Differ(kPartTriangles, "triangles: " + std::to_string(ta.size()) + " and " +
                                   std::to_string(tb.size()) + ", " + std::to_string(only.size()) +
                                   " not in both");
    }

    void Shader() {
        const NifFile& fa = a_.File();
        const NifFile& fb = b_.File();
        const NiObject* sa = fa.Block(a_.Shader());
        const NiObject* sb = fb.Block(b_.Shader());
        const std::string ta = sa ? fa.TypeNameOf(static_cast<uint32_t>(a_.Shader())) : "none";
        const std::string tb = sb ? fb.TypeNameOf(static_cast<uint32_t>(b_.Shader())) : "none";
        if (ta != tb) {
            Differ(kPartShader, "shader: " + ta + " became " + tb);
        } else if (const auto* la = As<BSLightingShaderProperty>(sa)) {
            const auto* lb = As<BSLightingShaderProperty>(sb);
            if (la->lightingShaderType != lb->lightingShaderType)
                Differ(kPartShader, "shader type " + std::to_string(la->lightingShaderType) +
                                        " became " + std::to_string(lb->lightingShaderType));
            if (la->header.flags1 != lb->header.flags1 || la->header.flags2 != lb->header.flags2)
                Differ(kPartShader, "shader flags " + Hex(la->header.flags1, la->header.flags2) +
                                        " became " + Hex(lb->header.flags1, lb->header.flags2));
            const std::vector<std::string> xa = Textures(fa, la->textureSet);
            const std::vector<std::string> xb = Textures(fb, lb->textureSet);
            for (size_t i = 0; i < std::max(xa.size(), xb.size()); ++i) {
                const std::string x = i < xa.size() ? xa[i] : "", y = i < xb.size() ? xb[i] : "";
                if (x != y)
                    Differ(kPartShader,
                           "texture " + std::to_string(i) + " \"" + x + "\" became \"" + y + "\"");
            }
        }
        const auto* aa = fa.BlockAs<NiAlphaProperty>(a_.Alpha());
        const auto* ab = fb.BlockAs<NiAlphaProperty>(b_.Alpha());
        if (!aa != !ab) {
            Differ(kPartShader, aa ? "alpha property removed" : "alpha property added");
        } else if (aa && (aa->flags != ab->flags || aa->threshold != ab->threshold)) {
            Differ(kPartShader, "alpha flags " + std::to_string(aa->flags) + "/" +
                                    std::to_string(aa->threshold) + " became " +
                                    std::to_string(ab->flags) + "/" +
                                    std::to_string(ab->threshold));
        }
    }

    static std::string Hex(uint32_t a, uint32_t b) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%08x/0x%08x", a, b);
        return text;
    }
    static std::vector<std::string> Textures(const NifFile& f, BlockRef set) {
        std::vector<std::string> paths;
        if (const auto* s = f.BlockAs<BSShaderTextureSet>(set)) {
            for (const SizedText& t : s->textures) paths.push_back(t.text);
        }
        return paths;
    }

    const ShapeView& a_;
    const ShapeView& b_;
    uint32_t allowed_, mayAdd_;
    ShapeComparison& out_;
    Tolerance tol_;
    const std::vector<std::string> bonesA_, bonesB_;  // the skins' bone names
};

// ---- collision, by the node that holds it

struct Collision {
    std::vector<std::string> types;  // the blocks of the collision tree, in walk order
    std::vector<double> lengths;     // their lengths in game-form units
    std::vector<double> rotations;   // rigid bodies' rotations
};

Collision CollisionOf(const NifFile& file, BlockRef object) {
    Collision c;
    std::vector<bool> seen(file.blocks.size(), false);
    std::vector<double>* lengths = &c.lengths;
    LengthVisitor collect(LengthVisitor::Mode::kCollect, file.Form(), lengths);
    std::function<void(BlockRef)> walk = [&](BlockRef at) {
        NiObject* b = file.Block(at);
        if (!b || seen[static_cast<size_t>(at)]) return;
        seen[static_cast<size_t>(at)] = true;
        c.types.push_back(file.TypeNameOf(static_cast<uint32_t>(at)));
        b->Lengths(collect);
        if (const auto* body = As<bhkRigidBody>(b)) {
            const hkQuaternion& q = body->info.rotation;
            c.rotations.insert(c.rotations.end(), {q.x, q.y, q.z, q.w});
        }
        std::vector<BlockRef> owned;
        ForEachRef(*b, file.Form(), [&](BlockRef ref, RefKind kind, TypeId) {
            if (kind == RefKind::kOwned && ref >= 0) owned.push_back(ref);
        });
        for (BlockRef r : owned) walk(r);
    };
    walk(object);
    return c;
}

bool Near(double x, double y) {
    if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
    return std::fabs(x - y) <= 1e-5 * std::max({1e-1, std::fabs(x), std::fabs(y)});
}

void CompareCollision(const NifFile& a, const NifFile& b, const CompareOptions& options,
                      std::vector<std::string>& out) {
    const bool mayLeave = options.collisionMayLeave;
    const auto ha = CollisionHolders(a), hb = CollisionHolders(b);
    for (const auto& [name, objects] : ha) {
        const auto other = hb.find(name);
        for (size_t k = 0; k < objects.size(); ++k) {
            const std::string who = "collision of \"" + name + "\"";
            if (other == hb.end() || k >= other->second.size()) {
                if (!mayLeave) out.push_back(who + ": the second file has none");
                continue;
            }
            const Collision ca = CollisionOf(a, objects[k]);
            const Collision cb = CollisionOf(b, other->second[k]);
            if (ca.types != cb.types) {
                out.push_back(who + ": its blocks differ (" + std::to_string(ca.types.size()) +
                              " and " + std::to_string(cb.types.size()) + ")");
                continue;
            }
            size_t differ = 0;
            double largest = 0;
            for (size_t i = 0; i < ca.lengths.size() && i < cb.lengths.size(); ++i) {
                if (!Near(ca.lengths[i], cb.lengths[i])) {
                    ++differ;
                    largest = std::max(largest, std::fabs(ca.lengths[i] - cb.lengths[i]));
                }
            }
            if (differ != 0 || ca.lengths.size() != cb.lengths.size())
                out.push_back(who + ": " + std::to_string(differ) + " of " +
                              std::to_string(ca.lengths.size()) +
                              " lengths differ in game units (largest " + Number(largest) + ")");
            for (size_t i = 0; i < ca.rotations.size() && i < cb.rotations.size(); ++i) {
                if (!Near(ca.rotations[i], cb.rotations[i])) {
                    out.push_back(who + ": a rigid body's rotation differs");
                    break;
                }
            }
        }
    }
    for (const auto& [name, objects] : hb) {
        const auto other = ha.find(name);
        const size_t had = other == ha.end() ? 0 : other->second.size();
        if (objects.size() > had && !options.collisionMayArrive)
            out.push_back("collision of \"" + name + "\": the first file has none");
    }
}

bool SamePositions(const ShapeView& a, const ShapeView& b) {
    for (size_t v = 0; v < a.NumVertices(); ++v) {
        if (Distance(a.Position(v), b.Position(v)) > 1e-6) return false;
    }
    return true;
}

}  // namespace

bool MeshComparison::Same() const {
    if (!removed.empty() || !added.empty() || !renamed.empty() || !collision.empty() ||
        !blockTypes.empty())
        return false;
    for (const ShapeComparison& s : shapes) {
        if (!s.differences.empty()) return false;
    }
    return true;
}

std::vector<std::string> MeshComparison::Lines() const {
    std::vector<std::string> lines;
    for (const std::string& s : removed) lines.push_back("shape \"" + s + "\" removed");
    for (const std::string& s : added) lines.push_back("shape \"" + s + "\" added");
    for (const auto& [from, to] : renamed)
        lines.push_back("shape \"" + from + "\" renamed to \"" + to + "\"");
    for (const ShapeComparison& s : shapes) {
        for (const std::string& d : s.differences)
            lines.push_back("shape \"" + s.name + "\": " + d);
    }
    lines.insert(lines.end(), collision.begin(), collision.end());
    for (const std::string& t : blockTypes) lines.push_back("blocks: " + t);
    return lines;
}

MeshComparison CompareMeshes(const NifFile& a, const NifFile& b, const CompareOptions& options) {
    MeshComparison result;
    const std::vector<ShapeView> sa = ShapesOf(a), sb = ShapesOf(b);
    // The n-th shape of a name with the n-th of that name (after the renames).
    std::vector<bool> usedB(sb.size(), false);
    std::vector<int32_t> match(sa.size(), -1);
    for (size_t i = 0; i < sa.size(); ++i) {
        std::string name = sa[i].Name();
        if (auto r = options.renamed.find(name); r != options.renamed.end()) name = r->second;
        for (size_t j = 0; j < sb.size(); ++j) {
            if (!usedB[j] && sb[j].Name() == name) {
                usedB[j] = true;
                match[i] = static_cast<int32_t>(j);
                break;
            }
        }
    }
    // Shapes left on both sides with the same vertices were renamed.
    const auto apart = [&](const ShapeView& s) {
        return std::find(options.comparedApart.begin(), options.comparedApart.end(), s.Index()) !=
               options.comparedApart.end();
    };
    for (size_t i = 0; i < sa.size(); ++i) {
        if (match[i] >= 0) continue;
        for (size_t j = 0; !apart(sa[i]) && j < sb.size() && match[i] < 0; ++j) {
            if (usedB[j] || sa[i].NumVertices() != sb[j].NumVertices() ||
                sa[i].NumVertices() == 0 || !SamePositions(sa[i], sb[j]))
                continue;
            usedB[j] = true;
            match[i] = static_cast<int32_t>(j);
            result.renamed.emplace_back(sa[i].Name(), sb[j].Name());
        }
        if (match[i] < 0) result.removed.push_back(sa[i].Name());
    }
    for (size_t j = 0; j < sb.size(); ++j) {
        if (!usedB[j]) result.added.push_back(sb[j].Name());
    }
    for (size_t i = 0; i < sa.size(); ++i) {
        if (match[i] < 0 || apart(sa[i])) continue;
        ShapeComparison c;
        c.name = sa[i].Name();
        c.other = sb[static_cast<size_t>(match[i])].Name();
        ShapeComparer(sa[i], sb[static_cast<size_t>(match[i])], options, c)
            .Run(options.geometryOnly);
        result.shapes.push_back(std::move(c));
    }
    if (options.collision) CompareCollision(a, b, options, result.collision);
    if (!options.geometryOnly) {
        std::map<std::string, long> counts;
        for (uint32_t i = 0; i < a.blocks.size(); ++i) --counts[a.TypeNameOf(i)];
        for (uint32_t i = 0; i < b.blocks.size(); ++i) ++counts[b.TypeNameOf(i)];
        for (const auto& [type, n] : counts) {
            if (n != 0)
                result.blockTypes.push_back((n > 0 ? "+" : "") + std::to_string(n) + " " + type);
        }
    }
    return result;
}

namespace {

std::string ProblemText(const std::vector<std::string>& lines) {
    if (lines.empty()) return {};
    std::string text = "the output would not keep the input's mesh: " + lines[0];
    const size_t shown = std::min<size_t>(lines.size(), 4);
    for (size_t i = 1; i < shown; ++i) text += "; " + lines[i];
    if (lines.size() > shown) text += "; and " + std::to_string(lines.size() - shown) + " more";
    return text;
}

}  // namespace

std::string ContentProblems(const NifFile& input, const NifFile& output,
                            const CompareOptions& options) {
    CompareOptions geometry = options;
    geometry.geometryOnly = true;
    // Renamed shapes are a difference for a conversion: it renames only what it was told to.
    return ProblemText(CompareMeshes(input, output, geometry).Lines());
}

// ---- the check of a conversion in place

namespace {

// The parts of a digest, with their names for the user.
constexpr const char* kDigestParts[] = {"vertices",       "positions", "normals", "tangents", "UVs",
                                        "vertex colours", "triangles", "bones",   "weights"};

// A running hash of 32-bit values, an add and a multiply by an odd number each: every step
// is one to one, so a single value that changed always changes the result. It only has to
// tell a value that changed, not stand up to anyone.
struct Hash {
    uint64_t value = 0x243F6A8885A308D3ull;
    void Add(uint32_t x) { value = (value + x) * 0x9E3779B97F4A7C15ull; }
    void Add(float x) { Add(std::bit_cast<uint32_t>(x)); }
    // The bytes of a list of values without padding, and its length: four lanes side by side
    // (the multiplications do not wait for each other), then folded in.
    void Bytes(const void* data, size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        size_t i = 0;
        uint64_t lanes[4] = {1, 2, 3, 4};
        for (; i + 32 <= n; i += 32) {
            uint64_t words[4];
            std::memcpy(words, p + i, 32);
            for (int k = 0; k < 4; ++k) lanes[k] = (lanes[k] + words[k]) * 0x9E3779B97F4A7C15ull;
        }
        for (uint64_t lane : lanes) {
            Add(static_cast<uint32_t>(lane));
            Add(static_cast<uint32_t>(lane >> 32));
        }
        for (; i + 4 <= n; i += 4) {
            uint32_t word;
            std::memcpy(&word, p + i, 4);
            Add(word);
        }
        uint32_t tail = 0;
        if (i < n) std::memcpy(&tail, p + i, n - i);
        Add(tail);
        Add(static_cast<uint32_t>(n));
    }
    template <class T>
    void List(const std::vector<T>& list) {
        Bytes(list.data(), list.size() * sizeof(T));
    }
    void Text(const std::string& text) { Bytes(text.data(), text.size()); }
};

// Packed records, field by field into the parts they hold.
void AddRecords(const std::vector<PackedVertex>& records, std::array<Hash, 9>& h) {
    static_assert(sizeof(PackedVertex) == 48, "records are hashed field by field");
    h[0].Add(static_cast<uint32_t>(records.size()));
    for (const PackedVertex& r : records) {
        h[1].Add(r.position.x);
        h[1].Add(r.position.y);
        h[1].Add(r.position.z);
        h[1].Add(r.eye);
        h[2].Add(uint32_t{r.normal[0]} | uint32_t{r.normal[1]} << 8 | uint32_t{r.normal[2]} << 16);
        h[3].Add(r.w);
        h[3].Add(uint32_t{r.tangent[0]} | uint32_t{r.tangent[1]} << 8 |
                 uint32_t{r.tangent[2]} << 16 | uint32_t{r.bitangentY} << 24);
        h[3].Add(uint32_t{r.bitangentZ});
        h[4].Add(uint32_t{r.uv[0]} | uint32_t{r.uv[1]} << 16);
        h[5].Add(std::bit_cast<uint32_t>(r.color));
        h[8].Add(uint32_t{r.weights[0]} | uint32_t{r.weights[1]} << 16);
        h[8].Add(uint32_t{r.weights[2]} | uint32_t{r.weights[3]} << 16);
        h[8].Add(std::bit_cast<uint32_t>(r.bones));
    }
}

// A shape's content as its blocks store it, part by part (see kDigestParts): two digests
// differ in a part when any value of it differs by a bit. It reads the stored lists as they
// are, without decoding a vertex.
InPlaceContentCheck::Digest DigestOf(const ShapeView& s) {
    std::array<Hash, 9> h;
    h[0].Add(static_cast<uint32_t>(s.NumVertices()));
    if (const NiTriBasedGeomData* d = s.Data()) {
        h[0].Add(uint32_t{d->numVertices});
        h[1].List(d->vertices);
        h[2].Add(uint32_t{d->hasNormals});
        h[2].List(d->normals);
        h[3].Add(uint32_t{d->dataFlags});
        h[3].List(d->tangents);
        h[3].List(d->bitangents);
        h[4].List(d->uvs);
        h[5].Add(uint32_t{d->hasVertexColors});
        h[5].List(d->vertexColors);
        if (const auto* list = As<NiTriShapeData>(d)) h[6].List(list->triangles);
        if (const auto* strips = As<NiTriStripsData>(d)) {
            for (const auto& strip : strips->points) h[6].List(strip);
        }
    }
    if (const BSTriShape* p = s.Packed()) {
        h[0].Add(static_cast<uint32_t>(p->vertexDesc));
        h[0].Add(static_cast<uint32_t>(p->vertexDesc >> 32));
        AddRecords(p->vertexData.records, h);
        h[6].List(p->triangles);
        if (const auto* dynamic = As<BSDynamicTriShape>(p)) h[1].List(dynamic->dynamicVertices);
    }
    if (const NiSkinPartition* partition = s.Partition()) {
        AddRecords(partition->vertexData.records, h);
        for (const SkinPartition& q : partition->partitions) {
            h[8].Add(uint32_t{q.numVertices} | uint32_t{q.numWeightsPerVertex} << 16);
            h[8].List(q.bones);
            h[8].List(q.vertexMap);
            h[8].List(q.vertexWeights);
            h[8].List(q.boneIndices);
            h[6].List(q.triangles);
            h[6].List(q.trianglesCopy);
            for (const auto& strip : q.strips) h[6].List(strip);
        }
    }
    if (const NiSkinData* skin = s.SkinData()) {
        for (const BoneData& bone : skin->bones) {
            h[8].Add(static_cast<uint32_t>(bone.weights.size()));
            for (const BoneVertData& w : bone.weights) {
                h[8].Add(uint32_t{w.index});
                h[8].Add(w.weight);
            }
        }
    }
    for (const std::string& name : s.BoneNames()) h[7].Text(name);
    InPlaceContentCheck::Digest digest;
    for (size_t k = 0; k < digest.size(); ++k) digest[k] = h[k].value;
    return digest;
}

// A block as the light copy keeps it: a packed shape without its records and triangles,
// their storage handed back.
void Lighten(NiObject& block) {
    if (auto* packed = As<BSTriShape>(&block)) {
        ReleaseStorage(packed->triangles);
        packed->vertexData = {};
        packed->numVertices = 0;
        packed->numTriangles = 0;
        packed->dataSize = 0;
        if (auto* dynamic = As<BSDynamicTriShape>(&block)) ReleaseStorage(dynamic->dynamicVertices);
    }
}

std::unique_ptr<NiObject> Lightened(const NiObject& block) {
    std::unique_ptr<NiObject> copy = block.Clone();
    Lighten(*copy);
    return copy;
}

// The blocks that hold a shape's geometry and skin besides the shape itself.
std::vector<uint32_t> GeometryBlocks(const ShapeView& view) {
    std::vector<uint32_t> list;
    const auto add = [&](BlockRef r) {
        if (r >= 0 && static_cast<size_t>(r) < view.File().blocks.size())
            list.push_back(static_cast<uint32_t>(r));
    };
    add(view.DataRef());
    if (const NiSkinInstance* skin = view.SkinInstance()) {
        add(skin->data);
        add(skin->skinPartition);
    }
    return list;
}

}  // namespace

InPlaceContentCheck::InPlaceContentCheck(const NifFile& input, uint8_t to,
                                         const CompareOptions& options)
    : options_(options) {
    before_.header = input.header;
    before_.roots = input.roots;
    std::vector<bool> light(input.blocks.size(), false);
    for (uint32_t i = 0; i < input.blocks.size(); ++i) {
        if (!ShapeView::IsShape(input.blocks[i].get()) ||
            !ConvertsLayout(*input.blocks[i], input.Form(), to))
            continue;
        light[i] = true;
        for (uint32_t b : GeometryBlocks(ShapeView(input, i))) light[b] = true;
    }
    before_.blocks.reserve(input.blocks.size());
    for (uint32_t i = 0; i < input.blocks.size(); ++i) {
        const NiObject& b = *input.blocks[i];
        if (!light[i]) {
            before_.blocks.push_back(b.Clone());
        } else if (ShapeView::IsShape(&b)) {
            before_.blocks.push_back(Lightened(b));
        } else {
            before_.blocks.push_back(CreateBlock(b.Type()));
        }
    }
}

void InPlaceContentCheck::Before(const NifFile& file, uint32_t shape) {
    held_ = GeometryBlocks(ShapeView(file, shape));
    held_.push_back(shape);
    for (uint32_t b : held_) {
        if (b < before_.blocks.size()) before_.blocks[b] = file.blocks[b]->Clone();
    }
}

void InPlaceContentCheck::After(const NifFile& file, uint32_t shape) {
    if (shape < before_.blocks.size()) {
        const ShapeView a(before_, shape), b(file, shape);
        ShapeComparison c;
        ShapeComparer(a, b, options_, c).Run(true);
        for (const std::string& d : c.differences)
            lines_.push_back("shape \"" + a.Name() + "\": " + d);
        converted_.push_back({shape, &b.Block(), b.Name(), DigestOf(b)});
    }
    for (uint32_t b : held_) {
        if (b >= before_.blocks.size()) continue;
        if (b == shape) {
            Lighten(*before_.blocks[b]);
        } else {
            before_.blocks[b] = CreateBlock(before_.blocks[b]->Type());
        }
    }
    held_.clear();
}

void InPlaceContentCheck::AddTheRest(std::vector<std::string>& lines, const NifFile& output,
                                     CompareOptions options) const {
    for (const Converted& c : converted_) options.comparedApart.push_back(c.index);
    const std::vector<std::string> others = CompareMeshes(before_, output, options).Lines();
    lines.insert(lines.end(), others.begin(), others.end());
}

std::string InPlaceContentCheck::Problems(const NifFile& output) const {
    std::vector<std::string> lines = lines_;
    // What the switch did after a shape was compared must not have touched it, nor put
    // another block in its place.
    std::vector<bool> found(converted_.size(), false);
    for (const ShapeView& s : ShapesOf(output)) {
        const auto at = std::find_if(converted_.begin(), converted_.end(),
                                     [&](const Converted& c) { return c.block == &s.Block(); });
        if (at == converted_.end()) continue;
        found[static_cast<size_t>(at - converted_.begin())] = true;
        const Digest now = DigestOf(s);
        for (size_t k = 0; k < now.size(); ++k) {
            if (now[k] != at->digest[k])
                lines.push_back("shape \"" + s.Name() + "\": " + kDigestParts[k] +
                                ": changed after the shape was converted");
        }
    }
    for (size_t k = 0; k < converted_.size(); ++k) {
        if (!found[k])
            lines.push_back("shape \"" + converted_[k].name +
                            "\": replaced or removed after it was converted");
    }
    CompareOptions rest = options_;
    rest.geometryOnly = true;
    AddTheRest(lines, output, rest);
    return ProblemText(lines);
}

std::vector<std::string> InPlaceContentCheck::Changes(const NifFile& output) const {
    std::vector<std::string> lines = lines_;
    AddTheRest(lines, output, {});
    return lines;
}
