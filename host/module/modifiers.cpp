// Freezing modifiers into an object's own geometry. Only the topology matters to
// a counter, but the positions are computed properly so that frozen objects are
// real geometry (and on-plane / on-axis tests mean something).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "host/module/documents.h"

#if defined(VHOST_HAS_OPENSUBDIV)
#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>
#include <opensubdiv/far/topologyRefinerFactory.h>
#endif

namespace vhost {
namespace {

constexpr double kOnPlaneEpsilon = 1e-9;
constexpr double kPi = 3.14159265358979323846;

double& Coordinate(Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
double Coordinate(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

Vec3 Rotate(const Vec3& v, int axis, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  switch (axis) {
    case 0:
      return {v.x, v.y * c - v.z * s, v.y * s + v.z * c};
    case 1:
      return {v.x * c + v.z * s, v.y, -v.x * s + v.z * c};
    default:
      return {v.x * c - v.y * s, v.x * s + v.y * c, v.z};
  }
}

// Drops consecutive repeated points (cyclically); faces left with fewer than
// three points are degenerate and dropped by the caller.
std::vector<int32_t> WithoutRepeats(const std::vector<int32_t>& face) {
  std::vector<int32_t> out;
  for (int32_t p : face) {
    if (out.empty() || out.back() != p) out.push_back(p);
  }
  while (out.size() > 1 && out.front() == out.back()) out.pop_back();
  return out;
}

}  // namespace

void Object::ApplyMirror() {
  const bool connected = mirror.type == 2;
  const double epsilon = std::max(std::abs(mirror.distance), kOnPlaneEpsilon);
  std::vector<Vec3> positions = positions_;
  std::vector<std::vector<int32_t>> faces;
  for (int32_t f = 0; f < FaceCount(); ++f) {
    if (FacePointCount(f) > 0) faces.push_back(FacePoints(f));
  }
  for (int axis = 0; axis < 3; ++axis) {
    if ((mirror.axis & (1 << axis)) == 0) continue;
    // Every vertex gets a reflected twin, except on-plane ones when connected.
    const std::size_t count = positions.size();
    std::vector<int32_t> twin(count);
    for (std::size_t i = 0; i < count; ++i) {
      if (connected && std::abs(Coordinate(positions[i], axis)) <= epsilon) {
        twin[i] = static_cast<int32_t>(i);
      } else {
        Vec3 reflected = positions[i];
        Coordinate(reflected, axis) = -Coordinate(reflected, axis);
        twin[i] = static_cast<int32_t>(positions.size());
        positions.push_back(reflected);
      }
    }
    // Reflected faces run the other way round so that they face outwards.
    const std::size_t faceCount = faces.size();
    for (std::size_t f = 0; f < faceCount; ++f) {
      std::vector<int32_t> reflected(faces[f].rbegin(), faces[f].rend());
      for (int32_t& p : reflected) p = twin[static_cast<std::size_t>(p)];
      faces.push_back(std::move(reflected));
    }
  }
  ReplaceGeometry(std::move(positions), faces);
}

void Object::ApplyLathe() {
  const int axis = lathe.axis >= 0 && lathe.axis <= 2 ? lathe.axis : 1;
  const int segments = std::max(3, lathe.segments);
  std::vector<Vec3> positions = positions_;
  std::vector<std::vector<int32_t>> faces;

  // ring[v][s]: vertex v turned by s steps; on-axis vertices stay themselves.
  std::vector<std::vector<int32_t>> ring(positions.size());
  const auto ringOf = [&](int32_t v) -> const std::vector<int32_t>& {
    auto& r = ring[static_cast<std::size_t>(v)];
    if (!r.empty()) return r;
    const Vec3 p = positions[static_cast<std::size_t>(v)];
    const double a = Coordinate(p, (axis + 1) % 3);
    const double b = Coordinate(p, (axis + 2) % 3);
    const bool onAxis = std::sqrt(a * a + b * b) <= kOnPlaneEpsilon;
    r.push_back(v);
    for (int s = 1; s < segments; ++s) {
      if (onAxis) {
        r.push_back(v);
      } else {
        r.push_back(static_cast<int32_t>(positions.size()));
        positions.push_back(Rotate(p, axis, 2 * kPi * s / segments));
      }
    }
    return r;
  };

  for (int32_t f = 0; f < FaceCount(); ++f) {
    std::vector<int32_t> points = FacePoints(f);
    if (points.size() != 2) {
      if (!points.empty()) faces.push_back(std::move(points));  // only profiles are swept
      continue;
    }
    const std::vector<int32_t> a = ringOf(points[0]);
    const std::vector<int32_t> b = ringOf(points[1]);
    for (int s = 0; s < segments; ++s) {
      const int t = (s + 1) % segments;
      std::vector<int32_t> quad = WithoutRepeats({a[s], b[s], b[t], a[t]});
      if (quad.size() >= 3) faces.push_back(std::move(quad));
    }
  }
  ReplaceGeometry(std::move(positions), faces);
}

bool Object::CanSubdivide() {
#if defined(VHOST_HAS_OPENSUBDIV)
  return true;
#else
  return false;
#endif
}

#if defined(VHOST_HAS_OPENSUBDIV)

namespace {

struct Point {
  Vec3 p;
  void Clear(void* = nullptr) { p = {}; }
  void AddWithWeight(const Point& src, float weight) {
    p.x += weight * src.p.x;
    p.y += weight * src.p.y;
    p.z += weight * src.p.z;
  }
};

}  // namespace

void Object::ApplyPatch() {
  namespace Far = OpenSubdiv::Far;
  namespace Sdc = OpenSubdiv::Sdc;
  const int levels = std::min(std::max(1, patch.segments), 4);

  // The surface is made of the faces of three or more points, over their own
  // dense vertex numbering; lines, points and unused vertices stay as they are.
  std::vector<int32_t> dense(positions_.size(), -1);
  std::vector<int32_t> sparse;
  std::vector<int> sizes;
  std::vector<int> indices;
  std::vector<std::vector<int32_t>> kept;
  for (int32_t f = 0; f < FaceCount(); ++f) {
    std::vector<int32_t> points = FacePoints(f);
    if (points.size() < 3) {
      if (!points.empty()) kept.push_back(std::move(points));
      continue;
    }
    sizes.push_back(static_cast<int>(points.size()));
    for (int32_t p : points) {
      int32_t& d = dense[static_cast<std::size_t>(p)];
      if (d < 0) {
        d = static_cast<int32_t>(sparse.size());
        sparse.push_back(p);
      }
      indices.push_back(d);
    }
  }
  if (sizes.empty()) return;

  Far::TopologyDescriptor descriptor;
  descriptor.numVertices = static_cast<int>(sparse.size());
  descriptor.numFaces = static_cast<int>(sizes.size());
  descriptor.numVertsPerFace = sizes.data();
  descriptor.vertIndicesPerFace = indices.data();
  Sdc::Options sdc;
  sdc.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_AND_CORNER);
  std::unique_ptr<Far::TopologyRefiner> refiner(
      Far::TopologyRefinerFactory<Far::TopologyDescriptor>::Create(
          descriptor,
          Far::TopologyRefinerFactory<Far::TopologyDescriptor>::Options(Sdc::SCHEME_CATMARK, sdc)));
  if (!refiner) return;  // topology the refiner cannot take stays unfrozen
  // Child vertices of vertices come first at every level, in their parents'
  // order, so dense vertex d is vertex d of the last level too.
  Far::TopologyRefiner::UniformOptions options(levels);
  options.orderVerticesFromFacesFirst = false;
  refiner->RefineUniform(options);

  std::vector<Point> level(sparse.size());
  for (std::size_t i = 0; i < sparse.size(); ++i) level[i].p = positions_[sparse[i]];
  Far::PrimvarRefiner primvar(*refiner);
  for (int l = 1; l <= levels; ++l) {
    std::vector<Point> next(static_cast<std::size_t>(refiner->GetLevel(l).GetNumVertices()));
    Point* destination = next.data();
    primvar.Interpolate(l, level.data(), destination);
    level = std::move(next);
  }

  // New numbering: the surface's vertices first, then every other old vertex.
  std::vector<Vec3> positions;
  positions.reserve(level.size() + positions_.size());
  for (const Point& v : level) positions.push_back(v.p);
  std::vector<int32_t> renumber(positions_.size());
  for (std::size_t v = 0; v < positions_.size(); ++v) {
    if (dense[v] >= 0) {
      renumber[v] = dense[v];
    } else {
      renumber[v] = static_cast<int32_t>(positions.size());
      positions.push_back(positions_[v]);
    }
  }
  std::vector<std::vector<int32_t>> faces;
  const Far::TopologyLevel& last = refiner->GetLevel(levels);
  for (int f = 0; f < last.GetNumFaces(); ++f) {
    const Far::ConstIndexArray points = last.GetFaceVertices(f);
    faces.emplace_back(points.begin(), points.end());
  }
  for (auto& face : kept) {
    for (int32_t& p : face) p = renumber[static_cast<std::size_t>(p)];
    faces.push_back(std::move(face));
  }
  ReplaceGeometry(std::move(positions), faces);
}

#else

void Object::ApplyPatch() {}

#endif

}  // namespace vhost
