// Freezes that cannot be done: the object stays exactly as it was, the host's
// object functions answer failure, and the host records which object and why.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "host/api/host_state.h"
#include "host/model/documents.h"
#include "protocol/mq_types.h"
#include "tests/support/shapes.h"

extern "C" MQObject MQObj_Clone(MQObject obj);
extern "C" int32_t MQObj_Freeze(MQObject obj, uint32_t flags);
extern "C" void MQObj_Delete(MQObject obj);

using testing_support::Count;
using vhost::Object;

namespace {

constexpr uint32_t kAll = vhost::kFreezeLathe | vhost::kFreezeMirror | vhost::kFreezePatch;

// Everything Freeze may change, to prove that a failed one changed nothing.
struct Snapshot {
  std::vector<double> positions;
  std::vector<std::vector<int32_t>> faces;
  std::vector<int32_t> refCounts;
  std::vector<int32_t> settings;
  double mirrorDistance = 0;

  explicit Snapshot(const Object& o) : mirrorDistance(o.mirror.distance) {
    for (int32_t v = 0; v < o.VertexCount(); ++v) {
      positions.insert(positions.end(), {o.Position(v).x, o.Position(v).y, o.Position(v).z});
      refCounts.push_back(o.VertexRefCount(v));
    }
    for (int32_t f = 0; f < o.FaceCount(); ++f) faces.push_back(o.FacePoints(f));
    settings = {o.mirror.type,    o.mirror.axis, o.lathe.type,    o.lathe.axis,
                o.lathe.segments, o.patch.type,  o.patch.segments};
  }
  bool operator==(const Snapshot& other) const {
    return positions == other.positions && faces == other.faces && refCounts == other.refCounts &&
           settings == other.settings && mirrorDistance == other.mirrorDistance;
  }
};

// A profile that the lathe turns into a closed cylinder, mirrored, with a
// patch on: every step of a freeze has work to do.
Object& EveryModifier(Object& o) {
  testing_support::Profile(o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  o.lathe = {1, 1, 8};
  o.mirror = {1, 4, 0};
  o.patch = {1, 2};
  return o;
}

// One face of `points` points around a circle.
Object& BigFace(Object& o, int32_t points) {
  std::vector<int32_t> face;
  for (int32_t i = 0; i < points; ++i) {
    const double a = 2 * 3.14159265358979323846 * i / points;
    face.push_back(o.AddVertex({std::cos(a), std::sin(a), 0}));
  }
  o.AddFace(face);
  return o;
}

// A closed fan of `triangles` triangles around one vertex of that valence.
Object& Fan(Object& o, int32_t triangles) {
  const int32_t centre = o.AddVertex({0, 0, 1});
  for (int32_t i = 0; i < triangles; ++i) {
    const double a = 2 * 3.14159265358979323846 * i / triangles;
    o.AddVertex({std::cos(a), std::sin(a), 0});
  }
  for (int32_t i = 0; i < triangles; ++i) {
    o.AddFace({centre, 1 + i, 1 + (i + 1) % triangles});
  }
  return o;
}

// The host's process-wide state, fresh for every test.
class HostFreeze : public ::testing::Test {
 protected:
  void SetUp() override { vhost::State().Reset(); }
  void TearDown() override { vhost::State().Reset(); }

  vhost::Documents& documents() { return vhost::State().documents; }
  Object& NewObject(const char* name) {
    if (document_ == nullptr) document_ = &documents().Open();
    return document_->AddObject(name);
  }

 private:
  vhost::Document* document_ = nullptr;
};

TEST_F(HostFreeze, AFreezeFailingAtThePatchStepLeavesTheObjectAsItWas) {
  Object& o = EveryModifier(NewObject("vase"));
  const Snapshot before(o);
  vhost::FreezeFaults faults;
  faults.failPatchAllocation = true;
  std::string reason;
  EXPECT_FALSE(o.Freeze(kAll, &reason, faults));
  EXPECT_EQ(reason, "out of memory");
  EXPECT_TRUE(Snapshot(o) == before);  // neither lathed nor mirrored

  // The same through the host function the plug-in calls, on its copy.
  documents().faults().freeze.failPatchAllocation = true;
  MQObject copy = MQObj_Clone(&o);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(MQObj_Freeze(copy, 0x7FFFFFFF), 0);
  EXPECT_TRUE(Snapshot(*static_cast<Object*>(copy)) == before);
  ASSERT_EQ(documents().freezeFailures.size(), 1u);
  EXPECT_EQ(documents().freezeFailures[0].object, "vase");
  EXPECT_EQ(documents().freezeFailures[0].reason, "out of memory");
  MQObj_Delete(copy);

  // Without the fault the same object freezes whole, and nothing more is recorded.
  documents().faults().freeze = {};
  copy = MQObj_Clone(&o);
  ASSERT_NE(copy, nullptr);
  if (Object::CanSubdivide()) {
    EXPECT_EQ(MQObj_Freeze(copy, 0x7FFFFFFF), 1);
    const Object& frozen = *static_cast<Object*>(copy);
    EXPECT_EQ(frozen.lathe.type, 0);
    EXPECT_EQ(frozen.mirror.type, 0);
    EXPECT_EQ(frozen.patch.type, 0);
    EXPECT_EQ(Count(frozen).quads, 2 * (16 * 3 + 8 * 4) * 4);  // two halves, level 2
    EXPECT_EQ(documents().freezeFailures.size(), 1u);
  } else {
    // A host that cannot subdivide cannot give what was asked for either.
    EXPECT_EQ(MQObj_Freeze(copy, 0x7FFFFFFF), 0);
    ASSERT_EQ(documents().freezeFailures.size(), 2u);
    EXPECT_EQ(documents().freezeFailures[1].reason, "this host cannot apply the patch modifier");
  }
  MQObj_Delete(copy);
  EXPECT_EQ(documents().LiveClones(), 0);
}

TEST_F(HostFreeze, ACopyTheHostCannotMakeIsRecorded) {
  Object& o = EveryModifier(NewObject("cup"));
  documents().faults().failClones = true;
  EXPECT_EQ(MQObj_Clone(&o), nullptr);
  ASSERT_EQ(documents().freezeFailures.size(), 1u);
  EXPECT_EQ(documents().freezeFailures[0].object, "cup");
  EXPECT_EQ(documents().freezeFailures[0].reason, "the host could not copy the object");
  EXPECT_EQ(documents().clonesMade, 0);

  // A fresh host has no records and no faults.
  documents().faults().freeze.failPatchAllocation = true;
  vhost::State().Reset();
  EXPECT_TRUE(documents().freezeFailures.empty());
  EXPECT_FALSE(documents().faults().freeze.failPatchAllocation);
  EXPECT_EQ(documents().faults().freeze.elementLimit, vhost::kMaxElementCount);
}

TEST_F(HostFreeze, ASuccessfulFreezeRecordsNothing) {
  Object& o = testing_support::Quad(NewObject("quad"));
  o.mirror = {1, 1, 0};
  MQObject copy = MQObj_Clone(&o);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(MQObj_Freeze(copy, 0x7FFFFFFF), 1);
  EXPECT_EQ(Count(*static_cast<Object*>(copy)).quads, 2);
  EXPECT_EQ(MQObj_Freeze(copy, 0x7FFFFFFF), 1);  // nothing left to apply is no failure
  EXPECT_TRUE(documents().freezeFailures.empty());
  MQObj_Delete(copy);
}

// Results past the counts the document model holds are refused before they
// are built; the sizes are known exactly, so a result at the limit is made.
TEST(FreezeLimit, RefusesEachStepsResultPastTheLimitExactly) {
  struct Case {
    const char* what;
    int64_t limit;
    const char* reason;  // null: the freeze succeeds
  };
  vhost::Document document;
  const auto check = [&](const char* name, Object& (*make)(Object&), uint32_t flags,
                         std::vector<Case> cases) {
    for (const Case& c : cases) {
      Object& o = make(document.AddObject(name));
      const Snapshot before(o);
      vhost::FreezeFaults faults;
      faults.elementLimit = c.limit;
      std::string reason;
      const bool frozen = o.Freeze(flags, &reason, faults);
      if (c.reason == nullptr) {
        EXPECT_TRUE(frozen) << name << " " << c.what << ": " << reason;
      } else {
        EXPECT_FALSE(frozen) << name << " " << c.what;
        EXPECT_EQ(reason, c.reason) << name << " " << c.what;
        EXPECT_TRUE(Snapshot(o) == before) << name << " " << c.what;
      }
    }
  };

  // A closed cylinder: 2 + 2 × 8 vertices, 8 + 8 triangles and 8 quads, 80 face points.
  check("lathe",
        [](Object& o) -> Object& {
          testing_support::Profile(o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
          o.lathe = {1, 1, 8};
          return o;
        },
        vhost::kFreezeLathe,
        {{"vertices", 17, "it would have more than 17 vertices"},
         {"faces", 23, "it would have more than 23 faces"},
         {"points", 79, "it would have more than 79 face points"},
         {"at the limit", 80, nullptr}});

  // A quad mirrored across X and Y, connected: a 3 × 3 grid of vertices, 4 quads.
  check("mirror",
        [](Object& o) -> Object& {
          testing_support::Quad(o);
          o.mirror = {2, 1 | 2, 0};
          return o;
        },
        vhost::kFreezeMirror,
        {{"vertices", 8, "it would have more than 8 vertices"},
         {"points", 15, "it would have more than 15 face points"},
         {"at the limit", 16, nullptr}});

  if (Object::CanSubdivide()) {
    // A cube with a line at a corner, level 1: 26 + 1 vertices, 24 quads and the line.
    check("patch",
          [](Object& o) -> Object& {
            testing_support::Cube(o);
            o.AddFace({6, o.AddVertex({2, 2, 2})});
            o.patch = {1, 1};
            return o;
          },
          vhost::kFreezePatch,
          {{"vertices", 26, "it would have more than 26 vertices"},
           {"points", 97, "it would have more than 97 face points"},
           {"at the limit", 98, nullptr}});
    // Level 2 of a cube: 98 vertices, 96 quads.
    check(
        "patch level 2",
        [](Object& o) -> Object& {
          testing_support::Cube(o);
          o.patch = {1, 2};
          return o;
        },
        vhost::kFreezePatch,
        {{"vertices", 97, "it would have more than 97 vertices"}, {"at the limit", 384, nullptr}});
  }
}

TEST(FreezeLimit, RefusesALatheBeyondTheInt32CountsWithoutBuildingIt) {
  vhost::Document document;
  Object& o = testing_support::Profile(document.AddObject("tower"), {{1, 0, 0}, {1, 1, 0}});
  o.lathe = {1, 1, INT32_MAX};  // 2 × (2^31 − 1) vertices
  const Snapshot before(o);
  std::string reason;
  EXPECT_FALSE(o.Freeze(vhost::kFreezeLathe, &reason));
  EXPECT_EQ(reason, "it would have more than 2147483647 vertices");
  EXPECT_TRUE(Snapshot(o) == before);

  // A limit above what the model holds counts as that.
  vhost::FreezeFaults faults;
  faults.elementLimit = INT64_MAX;
  EXPECT_FALSE(o.Freeze(vhost::kFreezeLathe, &reason, faults));
  EXPECT_EQ(reason, "it would have more than 2147483647 vertices");
}

// Captures what the process writes on stdout and stderr, at the descriptors:
// a library printing with printf or write shows up either way.
class OutputCapture {
 public:
  OutputCapture() {
    std::fflush(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
  }
  std::string Take() {
    std::fflush(nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    out += testing::internal::GetCapturedStderr();
    return out;
  }
};

bool IsOneLine(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// The library takes a face of 65,535 points and a vertex of 65,535 edges (it
// needs seconds for either: the test builds only what it refuses).
TEST_F(HostFreeze, ASubdivisionTheLibraryRefusesIsRecordedAndPrintsNothing) {
  if (!Object::CanSubdivide()) GTEST_SKIP() << "this host build has no subdivision";
  const struct {
    const char* name;
    Object& (*make)(Object&, int32_t);
    int32_t size;
    const char* says;
  } refused[] = {{"face of 65536 points", BigFace, 65536, "face with 65536 vertices"},
                 {"vertex of valence 65536", Fan, 65536, "vertex with valence 65536"}};
  for (const auto& c : refused) {
    Object& o = c.make(NewObject(c.name), c.size);
    o.mirror = {1, 4, 0};  // applied first, then undone with the rest
    o.patch = {1, 1};
    const Snapshot before(o);
    MQObject copy = MQObj_Clone(&o);
    ASSERT_NE(copy, nullptr);
    OutputCapture capture;
    const int32_t answer = MQObj_Freeze(copy, 0x7FFFFFFF);
    EXPECT_EQ(capture.Take(), "") << c.name;
    EXPECT_EQ(answer, 0) << c.name;
    EXPECT_TRUE(Snapshot(*static_cast<Object*>(copy)) == before) << c.name;
    MQObj_Delete(copy);
  }
  ASSERT_EQ(documents().freezeFailures.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const vhost::FreezeFailure& failure = documents().freezeFailures[i];
    EXPECT_EQ(failure.object, refused[i].name);
    EXPECT_EQ(failure.reason.rfind("the subdivision library refused the mesh: ", 0), 0u)
        << failure.reason;
    EXPECT_NE(failure.reason.find(refused[i].says), std::string::npos) << failure.reason;
    EXPECT_TRUE(IsOneLine(failure.reason)) << failure.reason;
  }
}

}  // namespace
