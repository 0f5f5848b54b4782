// CountObject against objects of the stand-in host's documents, through the
// host function table exactly as the plug-in sees them.
#include "counter/counting.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "counter/veltrane.h"
#include "host/api/host_state.h"
#include "protocol/entry_points.h"
#include "tests/support/shapes.h"

namespace {

using Counts = std::array<int32_t, 6>;  // vertices, total, lines, triangles, quads, n-gons

class Counting : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
    vhost::State().Reset();
    document = &vhost::State().documents.Open();
    plugin.freeze = false;
    plugin.triangle = false;
  }
  void TearDown() override {
    plugin.freeze = false;
    plugin.triangle = true;
    cmq::ReleaseFaceBlocks();  // some cases walk faces by hand, as a count does
    vhost::State().Reset();
  }

  vhost::Object& NewObject() { return document->AddObject("object"); }

  Counts Count(MQObject object, Counts start = {}) {
    plugin.CountObject(start[0], start[1], start[2], start[3], start[4], start[5], object);
    return start;
  }
  Counts Count(vhost::Object& object) { return Count(static_cast<MQObject>(&object)); }

  Veltrane& plugin = TheVeltrane();
  vhost::Document* document = nullptr;
};

// One face of each size from 0 (deleted) to 6 points over seven vertices, plus one unused vertex.
vhost::Object& EveryFaceSize(vhost::Object& o) {
  for (int i = 0; i < 8; ++i) o.AddVertex({double(i), double(i * i), 0});
  o.DeleteFace(o.AddFace({0, 1, 2}));  // 0 points
  o.AddFace({0});
  o.AddFace({0, 1});
  o.AddFace({0, 1, 2});
  o.AddFace({0, 1, 2, 3});
  o.AddFace({0, 1, 2, 3, 4});
  o.AddFace({0, 1, 2, 3, 4, 5, 6});
  return o;  // vertex 7 is used by no face
}

TEST_F(Counting, EachFaceSizeInPolygonMode) {
  // 1-point faces are in no row; the deleted face is skipped by the walk.
  EXPECT_EQ(Count(EveryFaceSize(NewObject())), (Counts{7, 5, 1, 1, 1, 2}));
}

TEST_F(Counting, EachFaceSizeInTriangleMode) {
  plugin.triangle = true;
  // Total: line 1, triangle 1, quad 2, pentagon 3, heptagon 5.
  EXPECT_EQ(Count(EveryFaceSize(NewObject())), (Counts{7, 12, 1, 1, 1, 2}));
}

TEST_F(Counting, SingleFacesAddTheirShareOfTheTotal) {
  const struct {
    int points;
    int32_t polygonTotal;
    int32_t triangleTotal;
  } cases[] = {{1, 0, 0}, {2, 1, 1}, {3, 1, 1}, {4, 1, 2}, {5, 1, 3}, {6, 1, 4}};
  for (const auto& c : cases) {
    vhost::Object& o = NewObject();
    std::vector<int32_t> face;
    for (int i = 0; i < c.points; ++i) face.push_back(o.AddVertex({double(i), 0, 0}));
    o.AddFace(face);
    plugin.triangle = false;
    EXPECT_EQ(Count(o)[1], c.polygonTotal) << c.points;
    plugin.triangle = true;
    EXPECT_EQ(Count(o)[1], c.triangleTotal) << c.points;
  }
}

TEST_F(Counting, UnusedVerticesAndEmptyObjectsCountNothing) {
  vhost::Object& o = NewObject();
  o.AddVertex({});
  o.AddVertex({1, 0, 0});
  EXPECT_EQ(Count(o), (Counts{}));
  EXPECT_EQ(Count(NewObject()), (Counts{}));
  EXPECT_EQ(Count(static_cast<MQObject>(nullptr)), (Counts{}));
}

TEST_F(Counting, AddsToWhatTheCountersHold) {
  vhost::Object& cube = testing_support::Cube(NewObject());
  vhost::Object& quad = testing_support::Quad(NewObject());
  Counts sum = Count(&cube);
  sum = Count(&quad, sum);
  EXPECT_EQ(sum, (Counts{12, 7, 0, 0, 7, 0}));
}

TEST_F(Counting, SumsSaturateInsteadOfWrapping) {
  plugin.triangle = true;
  vhost::Object& o = testing_support::Quad(NewObject());
  const Counts nearLimit{INT32_MAX - 1, INT32_MAX - 1, 0, 0, INT32_MAX, 0};
  EXPECT_EQ(Count(&o, nearLimit), (Counts{INT32_MAX, INT32_MAX, 0, 0, INT32_MAX, 0}));

  // A face of many points adds n - 2 triangles in one step.
  vhost::Object& big = NewObject();
  std::vector<int32_t> face;
  for (int i = 0; i < 100000; ++i) face.push_back(big.AddVertex({double(i), 0, 0}));
  big.AddFace(face);
  EXPECT_EQ(Count(big)[1], 99998);
  EXPECT_EQ(Count(&big, Counts{0, INT32_MAX - 5, 0, 0, 0, 0})[1], INT32_MAX);

  int32_t counter = INT32_MAX;
  cmq::SaturatingAdd(counter, INT32_MAX);
  EXPECT_EQ(counter, INT32_MAX);
  counter = INT32_MIN;
  cmq::SaturatingAdd(counter, -1);
  EXPECT_EQ(counter, INT32_MIN);
}

TEST_F(Counting, FreezeCountsTheGeneratedGeometryFromATemporaryCopy) {
  vhost::Object& mirrored = testing_support::Quad(NewObject());
  mirrored.mirror = {2, 1, 0};  // connected across x = 0: 6 vertices, 2 quads
  vhost::Object& lathed = testing_support::Profile(NewObject(), {{1, 0, 0}, {1, 1, 0}});
  lathed.lathe = {1, 1, 6};  // 12 vertices, 6 quads
  plugin.freeze = true;
  EXPECT_EQ(Count(mirrored), (Counts{6, 2, 0, 0, 2, 0}));
  EXPECT_EQ(Count(lathed), (Counts{12, 6, 0, 0, 6, 0}));
  if (vhost::Object::CanSubdivide()) {
    vhost::Object& patched = testing_support::Cube(NewObject());
    patched.patch = {1, 2};
    EXPECT_EQ(Count(patched), (Counts{98, 96, 0, 0, 96, 0}));
  }

  // Every copy was deleted, and the document's objects are as they were.
  const vhost::Documents& documents = vhost::State().documents;
  EXPECT_EQ(documents.LiveClones(), 0);
  EXPECT_EQ(documents.clonesMade, vhost::Object::CanSubdivide() ? 3 : 2);
  EXPECT_TRUE(vhost::State().faultLog.Empty()) << vhost::State().faultLog.Describe();
  EXPECT_EQ(mirrored.mirror.type, 2);
  EXPECT_EQ(testing_support::Count(mirrored).vertices, 4);
  EXPECT_EQ(lathed.lathe.type, 1);
  EXPECT_EQ(testing_support::Count(lathed).lines, 1);
}

TEST_F(Counting, WithoutFreezeAModifiedObjectCountsItsOwnGeometry) {
  vhost::Object& mirrored = testing_support::Quad(NewObject());
  mirrored.mirror = {1, 1, 0};
  mirrored.patch = {1, 1};
  EXPECT_EQ(Count(mirrored), (Counts{4, 1, 0, 0, 1, 0}));
  EXPECT_EQ(vhost::State().documents.clonesMade, 0);
}

TEST_F(Counting, FreezeMakesNoCopyOfAnObjectWithoutModifiers) {
  plugin.freeze = true;
  EXPECT_EQ(Count(testing_support::Cube(NewObject())), (Counts{8, 6, 0, 0, 6, 0}));
  EXPECT_EQ(vhost::State().documents.clonesMade, 0);
}

TEST_F(Counting, AHostThatCannotCopyGetsTheObjectCountedAsItIs) {
  vhost::Object& mirrored = testing_support::Quad(NewObject());
  mirrored.mirror = {1, 1, 0};
  plugin.freeze = true;
  vhost::State().faults.failClones = true;
  EXPECT_EQ(Count(mirrored), (Counts{4, 1, 0, 0, 1, 0}));
  EXPECT_TRUE(vhost::State().faultLog.Empty());  // nothing to delete
}

TEST_F(Counting, WalksSkipDeadElementsAtBothEnds) {
  vhost::Object& o = NewObject();
  for (int i = 0; i < 6; ++i) o.AddVertex({double(i), 0, 0});
  o.DeleteFace(o.AddFace({0, 1, 2}));
  o.AddFace({2, 3, 4});
  o.DeleteFace(o.AddFace({3, 4, 5}));
  // Live: vertices 2, 3, 4; face 1 only.
  MQObject handle = &o;
  std::vector<int32_t> vertices;
  for (auto it = cmq::CMQVertexIterator::Begin(handle); !it.AtEnd(); ++it) {
    vertices.push_back(it.Index());
  }
  EXPECT_EQ(vertices, (std::vector<int32_t>{2, 3, 4}));
  std::vector<int32_t> faces;
  for (auto it = cmq::CMQFaceIterator::Begin(handle); !it.AtEnd(); ++it) {
    faces.push_back((*it)->GetIndex());
  }
  EXPECT_EQ(faces, (std::vector<int32_t>{1}));
}

TEST_F(Counting, TheEndIsAskedAgainAtEveryStep) {
  vhost::Object& o = NewObject();
  for (int i = 0; i < 4; ++i) o.AddVertex({double(i), 0, 0});
  o.AddFace({0, 1});
  o.AddFace({1, 2});
  MQObject handle = &o;
  int steps = 0;
  for (auto it = cmq::CMQFaceIterator::Begin(handle); !it.AtEnd(); ++it) {
    if (++steps == 1) o.AddFace({2, 3});  // the host's object grows during the walk
  }
  EXPECT_EQ(steps, 3);
}

}  // namespace
