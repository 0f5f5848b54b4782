// Freezing modifiers into an object's own geometry. Only the topology matters to
// a counter, but the positions are computed properly so that frozen objects are
// real geometry (and on-plane / on-axis tests mean something).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/model/documents.h"

#if defined(VHOST_HAS_OPENSUBDIV)
#include <opensubdiv/far/error.h>
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

bool OnAxis(const Vec3& p, int axis) {
  const double a = Coordinate(p, (axis + 1) % 3);
  const double b = Coordinate(p, (axis + 2) % 3);
  return std::sqrt(a * a + b * b) <= kOnPlaneEpsilon;
}

// A step's refusal of its input; what() is the reason Freeze answers.
class Refusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The element counts of a step's result, added up before any of it is built.
// Each sum stops just past the limit, and callers add at most a few times the
// limit at once, so no sum can overflow.
class ResultSize {
 public:
  explicit ResultSize(int64_t limit) : limit_(limit) {}

  void Add(int64_t vertices, int64_t faces, int64_t points) {
    vertices_ = std::min(vertices_ + vertices, limit_ + 1);
    faces_ = std::min(faces_ + faces, limit_ + 1);
    points_ = std::min(points_ + points, limit_ + 1);
  }
  // Refuses a result with more of any kind of element than the limit.
  void Check() const {
    if (vertices_ > limit_) Refuse("vertices");
    if (faces_ > limit_) Refuse("faces");
    if (points_ > limit_) Refuse("face points");
  }
  int64_t faces() const { return faces_; }
  int64_t points() const { return points_; }

 private:
  [[noreturn]] void Refuse(const char* what) const {
    throw Refusal("it would have more than " + std::to_string(limit_) + " " + what);
  }

  int64_t limit_;
  int64_t vertices_ = 0;
  int64_t faces_ = 0;
  int64_t points_ = 0;
};

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

Object Object::Mirrored(const MirrorSettings& settings, int64_t limit) const {
  const bool connected = settings.type == 2;
  const double epsilon = std::max(std::abs(settings.distance), kOnPlaneEpsilon);
  const auto mirrored = [&](int axis) { return (settings.axis & (1 << axis)) != 0; };

  // A reflection keeps the magnitude of every coordinate, so each copy of a
  // vertex lies on a plane exactly when the vertex does: the result's size
  // follows from the vertices and faces as they are.
  ResultSize size(limit);
  for (const Vec3& p : positions_) {
    int64_t copies = 1;
    for (int axis = 0; axis < 3; ++axis) {
      if (mirrored(axis) && !(connected && std::abs(Coordinate(p, axis)) <= epsilon)) copies *= 2;
    }
    size.Add(copies, 0, 0);
  }
  for (int32_t f = 0; f < FaceCount(); ++f) {
    const int32_t points = FacePointCount(f);
    if (points > 0) size.Add(0, 1, points);
  }
  for (int axis = 0; axis < 3; ++axis) {
    if (mirrored(axis)) size.Add(0, size.faces(), size.points());  // every face gets a twin
  }
  size.Check();

  std::vector<Vec3> positions = positions_;
  std::vector<std::vector<int32_t>> faces;
  for (int32_t f = 0; f < FaceCount(); ++f) {
    if (FacePointCount(f) > 0) faces.push_back(FacePoints(f));
  }
  for (int axis = 0; axis < 3; ++axis) {
    if (!mirrored(axis)) continue;
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
  Object result;
  result.ReplaceGeometry(std::move(positions), faces);
  return result;
}

Object Object::Lathed(const LatheSettings& settings, int64_t limit) const {
  const int axis = settings.axis >= 0 && settings.axis <= 2 ? settings.axis : 1;
  const int segments = std::max(3, settings.segments);

  // Sized before anything is built: a profile between two distinct points
  // sweeps into `segments` faces (triangles where one end is on the axis,
  // nothing where both are), and every off-axis profile point into a ring.
  ResultSize size(limit);
  size.Add(VertexCount(), 0, 0);
  {
    std::vector<bool> ringed(positions_.size(), false);
    for (int32_t f = 0; f < FaceCount(); ++f) {
      const int32_t count = FacePointCount(f);
      if (count != 2) {
        if (count > 0) size.Add(0, 1, count);
        continue;
      }
      const std::vector<int32_t> points = FacePoints(f);
      int onAxis = 0;
      for (int32_t v : points) {
        const bool on = OnAxis(positions_[static_cast<std::size_t>(v)], axis);
        onAxis += on ? 1 : 0;
        if (!on && !ringed[static_cast<std::size_t>(v)]) {
          ringed[static_cast<std::size_t>(v)] = true;
          size.Add(segments - 1, 0, 0);
        }
      }
      if (points[0] != points[1] && onAxis < 2) {
        size.Add(0, segments, int64_t{segments} * (onAxis == 0 ? 4 : 3));
      }
    }
  }
  size.Check();

  std::vector<Vec3> positions = positions_;
  std::vector<std::vector<int32_t>> faces;
  // ring[v][s]: vertex v turned by s steps; on-axis vertices stay themselves.
  std::vector<std::vector<int32_t>> ring(positions.size());
  const auto ringOf = [&](int32_t v) -> const std::vector<int32_t>& {
    auto& r = ring[static_cast<std::size_t>(v)];
    if (!r.empty()) return r;
    const Vec3 p = positions[static_cast<std::size_t>(v)];
    const bool onAxis = OnAxis(p, axis);
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
    // ring itself never resizes: filling b's entry leaves a's reference valid.
    const std::vector<int32_t>& a = ringOf(points[0]);
    const std::vector<int32_t>& b = ringOf(points[1]);
    for (int s = 0; s < segments; ++s) {
      const int t = (s + 1) % segments;
      std::vector<int32_t> quad = WithoutRepeats({a[s], b[s], b[t], a[t]});
      if (quad.size() >= 3) faces.push_back(std::move(quad));
    }
  }
  Object result;
  result.ReplaceGeometry(std::move(positions), faces);
  return result;
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

namespace Far = OpenSubdiv::Far;
namespace Sdc = OpenSubdiv::Sdc;

struct Point {
  Vec3 p;
  void Clear(void* = nullptr) { p = {}; }
  void AddWithWeight(const Point& src, float weight) {
    p.x += weight * src.p.x;
    p.y += weight * src.p.y;
    p.z += weight * src.p.z;
  }
};

// What the subdivision library reported during one refinement. It reports
// through process-wide callbacks that take no context (and prints on stdout
// without them, which would break the tool's output), so the refinement under
// way registers its record in a thread-local for the callbacks to fill. Filled
// without allocating: the callbacks run inside the library and must not throw.
struct LibraryReport {
  bool failed = false;
  char error[512] = {};  // the last error, cut to fit
};

thread_local LibraryReport* t_report = nullptr;

void OnLibraryError(Far::ErrorType /*type*/, const char* message) noexcept {
  if (t_report == nullptr) return;  // not inside a freeze: dropped, never printed
  t_report->failed = true;
  std::snprintf(t_report->error, sizeof t_report->error, "%s", message != nullptr ? message : "");
}

// Warnings leave the result sound: nothing to keep.
void OnLibraryWarning(const char* /*message*/) noexcept {}

// Points the callbacks at `report` for the lifetime of the scope, installing
// them the first time; the library's own printing never runs.
class LibraryReportScope {
 public:
  explicit LibraryReportScope(LibraryReport& report) noexcept : previous_(t_report) {
    static const bool installed = [] {
      Far::SetErrorCallback(&OnLibraryError);
      Far::SetWarningCallback(&OnLibraryWarning);
      return true;
    }();
    (void)installed;
    t_report = &report;
  }
  LibraryReportScope(const LibraryReportScope&) = delete;
  LibraryReportScope& operator=(const LibraryReportScope&) = delete;
  ~LibraryReportScope() { t_report = previous_; }

 private:
  LibraryReport* previous_;
};

// The library's message as one line of printable text: control characters
// escaped as JSON writes them.
std::string Printable(const char* message) {
  std::string text;
  for (const char* c = message; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      text += escape;
    } else {
      text += *c;
    }
  }
  return text;
}

[[noreturn]] void RefuseFor(const LibraryReport& report) {
  if (report.error[0] == '\0') throw Refusal("the subdivision library refused the mesh");
  throw Refusal("the subdivision library refused the mesh: " + Printable(report.error));
}

}  // namespace

Object Object::Patched(const PatchSettings& settings, int64_t limit) const {
  const int levels = std::min(std::max(1, settings.segments), 4);

  // The surface is made of the faces of three or more points, over their own
  // dense vertex numbering; lines, points and unused vertices stay as they are.
  std::vector<int32_t> dense(positions_.size(), -1);
  std::vector<int32_t> sparse;
  std::vector<int> sizes;
  std::vector<int> indices;
  std::vector<std::vector<int32_t>> kept;
  int64_t keptPoints = 0;
  for (int32_t f = 0; f < FaceCount(); ++f) {
    std::vector<int32_t> points = FacePoints(f);
    if (points.size() < 3) {
      keptPoints += static_cast<int64_t>(points.size());
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
  if (sizes.empty()) {
    Object result;
    result.ReplaceGeometry(positions_, kept);
    return result;
  }

  LibraryReport report;
  const LibraryReportScope reporting(report);
  Far::TopologyDescriptor descriptor;
  descriptor.numVertices = static_cast<int>(sparse.size());
  descriptor.numFaces = static_cast<int>(sizes.size());
  descriptor.numVertsPerFace = sizes.data();
  descriptor.vertIndicesPerFace = indices.data();
  Sdc::Options sdc;
  sdc.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_AND_CORNER);
  // A face of more than 65,535 points or a vertex of more than 65,535 edges:
  // the factory reports an error and answers null.
  std::unique_ptr<Far::TopologyRefiner> refiner(
      Far::TopologyRefinerFactory<Far::TopologyDescriptor>::Create(
          descriptor,
          Far::TopologyRefinerFactory<Far::TopologyDescriptor>::Options(Sdc::SCHEME_CATMARK, sdc)));
  if (!refiner || report.failed) RefuseFor(report);

  // Uniform refinement splits every face, edge and vertex, and every child face
  // is a quad: each level's size follows from the one before. Checked level by
  // level, no count passes a few times the limit.
  {
    const Far::TopologyLevel& base = refiner->GetLevel(0);
    int64_t vertices = base.GetNumVertices();
    int64_t edges = base.GetNumEdges();
    int64_t faces = base.GetNumFaces();
    int64_t points = base.GetNumFaceVertices();
    const int64_t others = static_cast<int64_t>(positions_.size()) - vertices;
    for (int l = 1; l <= levels; ++l) {
      ResultSize size(limit);
      size.Add(others + vertices + edges + faces, static_cast<int64_t>(kept.size()) + points,
               keptPoints + 4 * points);
      size.Check();
      vertices += edges + faces;
      edges = 2 * edges + points;
      faces = points;
      points = 4 * faces;
    }
  }

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
  if (report.failed) RefuseFor(report);  // any error on the way makes the result suspect

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
  Object result;
  result.ReplaceGeometry(std::move(positions), faces);
  return result;
}

#else

Object Object::Patched(const PatchSettings& /*settings*/, int64_t /*limit*/) const {
  throw Refusal("this host cannot apply the patch modifier");
}

#endif

bool Object::Freeze(uint32_t flags, std::string* reason, const FreezeFaults& faults) {
  const int64_t limit = std::min(faults.elementLimit, kMaxElementCount);
  const bool lathing = (flags & kFreezeLathe) != 0 && lathe.type != 0;
  const bool mirroring = (flags & kFreezeMirror) != 0 && mirror.type != 0;
  const bool patching = (flags & kFreezePatch) != 0 && patch.type != 0;
  try {
    // Each step reads the result of the one before (this object for the first)
    // and makes new geometry; this object is only read until every step is done.
    Object work;
    const Object* source = this;
    if (lathing) {
      work = source->Lathed(lathe, limit);
      source = &work;
    }
    if (mirroring) {
      work = source->Mirrored(mirror, limit);
      source = &work;
    }
    if (patching) {
      if (faults.failPatchAllocation) throw std::bad_alloc();
      work = source->Patched(patch, limit);
      source = &work;
    }
    if (source != this) TakeGeometry(work);
  } catch (const Refusal& refusal) {
    if (reason != nullptr) *reason = refusal.what();
    return false;
  } catch (const std::bad_alloc&) {
    if (reason != nullptr) *reason = "out of memory";  // short enough to need no allocation
    return false;
  }
  if (lathing) lathe.type = 0;
  if (mirroring) mirror.type = 0;
  if (patching) patch.type = 0;
  return true;
}

}  // namespace vhost
