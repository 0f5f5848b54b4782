// The stand-in host's document model and its freezing of modifiers, checked
// against counts derived by hand.
#include "host/model/documents.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/shapes.h"

using testing_support::Count;
using vhost::Object;

namespace {

class Freeze : public ::testing::Test {
 protected:
  Object& NewObject() { return document.AddObject("object"); }
  vhost::Document document;
};

TEST(ObjectModel, ReferenceCountsFollowFacesAndDeletions) {
  vhost::Document document;
  Object& o = testing_support::Quad(document.AddObject("quad"));
  o.AddVertex({5, 5, 5});  // used by no face
  EXPECT_EQ(o.VertexCount(), 5);
  EXPECT_EQ(o.VertexRefCount(0), 1);
  EXPECT_EQ(o.VertexRefCount(4), 0);
  const int32_t tri = o.AddFace({0, 1, 4});
  EXPECT_EQ(o.VertexRefCount(0), 2);
  o.DeleteFace(tri);
  EXPECT_EQ(o.FacePointCount(tri), 0);
  EXPECT_EQ(o.FaceCount(), 2);  // deleted faces keep their slot
  EXPECT_EQ(o.VertexRefCount(0), 1);
  EXPECT_EQ(o.VertexRefCount(4), 0);
  o.DeleteVertex(2);
  EXPECT_EQ(o.FacePointCount(0), 0);
  EXPECT_EQ(o.VertexRefCount(0), 0);
  // Bad indices answer 0 instead of reading out of bounds.
  EXPECT_EQ(o.FacePointCount(-1), 0);
  EXPECT_EQ(o.FacePointCount(99), 0);
  EXPECT_EQ(o.VertexRefCount(99), 0);
  EXPECT_THROW(o.AddFace({0, 7}), std::out_of_range);
  EXPECT_THROW(o.AddFace({}), std::invalid_argument);
}

TEST(ObjectModel, BuildingInBulkKeepsTheRulesOfSingleAdds) {
  vhost::Document document;
  Object& o = document.AddObject("bulk");
  o.Reserve(3, 0, 0);
  for (int i = 0; i < 3; ++i) o.AddVertex({double(i), 0, 0});
  o.Reserve(0, 2, 4);
  const int32_t tri[] = {0, 1, 2};
  const int32_t bad[] = {0, 3};
  EXPECT_EQ(o.AddFace(tri, 3), 0);
  EXPECT_THROW(o.AddFace(bad, 2), std::out_of_range);
  EXPECT_THROW(o.AddFace(tri, 0), std::invalid_argument);
  EXPECT_EQ(o.AddFace(tri + 2, 1), 1);
  // A refused face left nothing behind: counts, points and references as added.
  EXPECT_EQ(o.FaceCount(), 2);
  EXPECT_EQ(o.FacePoints(0), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(o.FacePoints(1), (std::vector<int32_t>{2}));
  EXPECT_EQ(o.VertexRefCount(0), 1);
  EXPECT_EQ(o.VertexRefCount(2), 2);
  // Room past what an object may hold is refused before anything changes.
  EXPECT_THROW(o.Reserve(vhost::kMaxElementCount, 0, 0), std::length_error);
  EXPECT_THROW(o.Reserve(0, -1, 0), std::length_error);
  EXPECT_EQ(o.VertexCount(), 3);

  // A copy in another document is the copy's own, and belongs there.
  o.visible = false;
  vhost::Document other;
  Object& copy = other.AddCopy(o);
  EXPECT_EQ(copy.document(), &other);
  EXPECT_EQ(copy.name, "bulk");
  EXPECT_FALSE(copy.visible);
  o.DeleteFace(0);
  EXPECT_EQ(copy.FacePoints(0), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(copy.VertexRefCount(0), 1);
}

// Vertices and faces added a piece at a time give what one add each gives, and a
// piece with a fault anywhere adds nothing of itself.
TEST(ObjectModel, PiecesOfVerticesAndFacesAreAllOrNothing) {
  vhost::Document document;
  Object& bulk = document.AddObject("bulk");
  Object& single = document.AddObject("single");
  const vhost::Vec3 positions[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  bulk.AddVertices(positions, 4);
  for (const vhost::Vec3& p : positions) single.AddVertex(p);
  const int32_t sizes[] = {3, 1, 4};
  const int32_t points[] = {0, 1, 2, 3, 0, 1, 2, 3};
  bulk.AddFaces(sizes, 3, points);
  for (int32_t f = 0, at = 0; f < 3; at += sizes[f++]) single.AddFace(points + at, sizes[f]);
  ASSERT_EQ(bulk.FaceCount(), single.FaceCount());
  for (int32_t f = 0; f < bulk.FaceCount(); ++f)
    EXPECT_EQ(bulk.FacePoints(f), single.FacePoints(f));
  for (int32_t v = 0; v < 4; ++v) EXPECT_EQ(bulk.VertexRefCount(v), single.VertexRefCount(v));
  EXPECT_EQ(bulk.Position(2).y, 1.0);

  // The last face names a missing vertex, the first is empty: what AddFace
  // would throw for the first faulty face, and nothing added.
  const int32_t lastBad[] = {0, 1, 2, 9};
  const int32_t twoSizes[] = {3, 1};
  EXPECT_THROW(bulk.AddFaces(twoSizes, 2, lastBad), std::out_of_range);
  const int32_t emptyFirst[] = {0, 3};
  EXPECT_THROW(bulk.AddFaces(emptyFirst, 2, lastBad), std::invalid_argument);
  EXPECT_EQ(bulk.FaceCount(), 3);
  EXPECT_EQ(bulk.VertexRefCount(0), 2);
  // Adding in many small pieces grows the lists geometrically, not by a copy each time.
  for (int i = 0; i < 100000; ++i) bulk.AddFaces(sizes + 1, 1, points);
  EXPECT_EQ(bulk.FaceCount(), 100003);
  EXPECT_EQ(bulk.VertexRefCount(0), 100002);
}

// Faces of one size handed over whole are held without per-face lists until
// a face differs: after each change the object answers as one built face by
// face, and a refused hand-over leaves it as it was.
TEST(ObjectModel, FacesOfOneSizeAnswerAsFacesAddedOneByOne) {
  const vhost::Vec3 positions[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 2, 2}};
  const std::vector<int32_t> triangles = {0, 1, 2, 0, 2, 3, 1, 2, 4};
  const struct {
    const char* what;
    void (*change)(Object&);
  } cases[] = {
      {"as handed over", [](Object&) {}},
      {"then a face of another size",
       [](Object& o) {
         o.AddFace({4, 3});
       }},
      {"then faces of the same size",
       [](Object& o) {
         o.AddFacesOfSize(3, {4, 3, 2});
       }},
      {"then faces of another size",
       [](Object& o) {
         o.AddFacesOfSize(2, {4, 3, 1, 0});
       }},
      {"then a face deleted", [](Object& o) { o.DeleteFace(1); }},
      {"then faces in bulk",
       [](Object& o) {
         const int32_t sizes[] = {1, 4};
         const int32_t points[] = {4, 0, 1, 2, 3};
         o.AddFaces(sizes, 2, points);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vhost::Document document;
    Object& whole = document.AddObject("whole");
    Object& single = document.AddObject("single");
    for (Object* o : {&whole, &single}) o->AddVertices(positions, 5);
    whole.AddFacesOfSize(3, triangles);
    for (std::size_t at = 0; at < triangles.size(); at += 3) single.AddFace(&triangles[at], 3);
    c.change(whole);
    c.change(single);
    const Object copy = whole;
    for (const Object* o : {static_cast<const Object*>(&whole), &copy}) {
      ASSERT_EQ(o->FaceCount(), single.FaceCount());
      for (int32_t f = -1; f <= single.FaceCount(); ++f) {
        EXPECT_EQ(o->FacePointCount(f), single.FacePointCount(f)) << "face " << f;
        EXPECT_EQ(o->FacePoints(f), single.FacePoints(f)) << "face " << f;
      }
      for (int32_t v = 0; v < 5; ++v) EXPECT_EQ(o->VertexRefCount(v), single.VertexRefCount(v));
    }
  }

  // Refused whole: a point that is no vertex, a list that is no whole number
  // of faces, a face of no points.
  vhost::Document document;
  Object& o = document.AddObject("o");
  o.AddVertices(positions, 5);
  o.AddFacesOfSize(3, triangles);
  EXPECT_THROW(o.AddFacesOfSize(3, {0, 1, 5}), std::out_of_range);
  EXPECT_THROW(o.AddFacesOfSize(3, {0, 1}), std::invalid_argument);
  EXPECT_THROW(o.AddFacesOfSize(0, {0}), std::invalid_argument);
  EXPECT_THROW(o.AddFacesOfSize(2, {0, -1}), std::out_of_range);
  // A point amiss anywhere in a longer list: in each of the four lanes the
  // check runs, and in its tail.
  for (const std::size_t bad : {0u, 5u, 10u, 15u, 17u}) {
    std::vector<int32_t> points(18, 1);
    points[bad] = bad % 2 == 0 ? 5 : -1;
    EXPECT_THROW(o.AddFacesOfSize(3, points), std::out_of_range) << bad;
  }
  EXPECT_EQ(o.FaceCount(), 3);
  EXPECT_EQ(o.VertexRefCount(2), 3);
  EXPECT_EQ(o.FacePoints(2), (std::vector<int32_t>{1, 2, 4}));
}

TEST(ObjectModel, SlotsMayBeEmpty) {
  vhost::Document document;
  document.AddObject("a");
  document.AddObject("b");
  document.RemoveObject(0);
  EXPECT_EQ(document.SlotCount(), 2);
  EXPECT_EQ(document.At(0), nullptr);
  EXPECT_NE(document.At(1), nullptr);
  EXPECT_EQ(document.At(2), nullptr);
  EXPECT_EQ(document.At(-1), nullptr);
}

TEST(ObjectModel, TakingSlotsMovesObjectsAndEmptySlotsInOrder) {
  vhost::Document document;
  document.AddObject("kept");
  vhost::Document loaded;
  Object& cube = testing_support::Cube(loaded.AddObject("cube"));
  loaded.AddObject("gone");
  loaded.RemoveObject(1);
  loaded.AddObject("last");
  document.TakeSlots(loaded);
  EXPECT_EQ(loaded.SlotCount(), 0);
  ASSERT_EQ(document.SlotCount(), 4);
  EXPECT_EQ(document.At(1), &cube);  // the same object, not a copy
  EXPECT_EQ(cube.document(), &document);
  EXPECT_EQ(document.At(2), nullptr);
  EXPECT_EQ(document.At(3)->name, "last");
  document.TakeSlots(document);  // onto itself: nothing happens
  EXPECT_EQ(document.SlotCount(), 4);
}

TEST(Clones, LiveOutsideTheDocumentUntilDeleted) {
  vhost::Documents documents;
  vhost::Document& document = documents.Open();
  Object& original = testing_support::Cube(document.AddObject("cube"));
  Object* copy = documents.Clone(original);
  EXPECT_EQ(copy->document(), nullptr);
  EXPECT_EQ(original.document(), &document);
  EXPECT_EQ(documents.LiveClones(), 1);
  copy->DeleteFace(0);
  EXPECT_EQ(Count(original).faces, 6);  // the copy is its own geometry
  documents.Delete(&original);          // not a clone: refused
  EXPECT_EQ(documents.faultLog().Entries().size(), 1u);
  EXPECT_EQ(document.At(0), &original);
  documents.Delete(copy);
  EXPECT_EQ(documents.LiveClones(), 0);
  documents.Delete(copy);  // twice: refused, not a double free
  EXPECT_EQ(documents.faultLog().Entries().size(), 2u);
}

TEST_F(Freeze, MirrorSeparateDuplicatesEveryVertexOnEachAxis) {
  for (int32_t axis : {1, 2, 4}) {
    Object& o = testing_support::Quad(NewObject());
    o.mirror = {1, axis, 0};
    o.Freeze(vhost::kFreezeMirror);
    const auto t = Count(o);
    EXPECT_EQ(t.vertices, 8) << axis;
    EXPECT_EQ(t.quads, 2) << axis;
    EXPECT_EQ(o.mirror.type, 0);  // the modifier is applied and turned off
  }
}

TEST_F(Freeze, MirrorConnectedSharesVerticesOnThePlane) {
  // The quad spans [0,1]² in z = 0: two corners lie on x = 0, two on y = 0, all on z = 0.
  const struct {
    int32_t axis;
    int32_t vertices;
  } cases[] = {{1, 6}, {2, 6}, {4, 4}, {1 | 2, 9}};
  for (const auto& c : cases) {
    Object& o = testing_support::Quad(NewObject());
    o.mirror = {2, c.axis, 0};
    o.Freeze(vhost::kFreezeMirror);
    const auto t = Count(o);
    EXPECT_EQ(t.vertices, c.vertices) << c.axis;
    EXPECT_EQ(t.quads, c.axis == 3 ? 4 : 2) << c.axis;  // X then Y: a 2×2 grid
  }
}

TEST_F(Freeze, MirrorDistanceDecidesWhatLiesOnThePlane) {
  Object& o = NewObject();
  testing_support::Quad(o, {0.05, 0, 0});
  o.mirror = {2, 1, 0.1};
  o.Freeze(vhost::kFreezeMirror);
  EXPECT_EQ(Count(o).vertices, 6);
}

TEST_F(Freeze, MirrorReversesTheCopiesWinding) {
  Object& o = testing_support::Quad(NewObject(), {1, 0, 0});
  o.mirror = {1, 1, 0};
  o.Freeze(vhost::kFreezeMirror);
  const std::vector<int32_t> copy = o.FacePoints(1);
  ASSERT_EQ(copy.size(), 4u);
  EXPECT_DOUBLE_EQ(o.Position(copy[0]).x, -1);  // twin of the original's last point
  EXPECT_DOUBLE_EQ(o.Position(copy[0]).y, 1);
}

TEST_F(Freeze, LatheSweepsAnOffAxisProfileIntoQuads) {
  Object& o = testing_support::Profile(NewObject(), {{1, 0, 0}, {1, 1, 0}, {1, 2, 0}});
  o.lathe = {1, 1, 8};
  o.Freeze(vhost::kFreezeLathe);
  const auto t = Count(o);
  EXPECT_EQ(t.vertices, 3 * 8);
  EXPECT_EQ(t.quads, 2 * 8);
  EXPECT_EQ(t.faces, 16);
  EXPECT_EQ(o.lathe.type, 0);
}

TEST_F(Freeze, LatheSharesOnAxisVerticesAndMakesTriangles) {
  // A closed cylinder: cap, side, cap. The two axis points are shared by all segments.
  Object& o = testing_support::Profile(NewObject(), {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  o.lathe = {1, 1, 8};
  o.Freeze(vhost::kFreezeLathe);
  const auto t = Count(o);
  EXPECT_EQ(t.vertices, 2 + 2 * 8);
  EXPECT_EQ(t.triangles, 2 * 8);
  EXPECT_EQ(t.quads, 8);
  // The swept points lie on the circle around the Y axis.
  for (int32_t v = 0; v < o.VertexCount(); ++v) {
    const vhost::Vec3& p = o.Position(v);
    const double r = std::hypot(p.x, p.z);
    EXPECT_TRUE(std::abs(r) < 1e-9 || std::abs(r - 1) < 1e-9) << v;
  }
}

TEST_F(Freeze, LatheAroundEachAxisAndAtLeastThreeSegments) {
  for (int32_t axis : {0, 1, 2}) {
    Object& o = testing_support::Profile(NewObject(), {{2, 2, 2}, {3, 3, 3}});
    o.lathe = {1, axis, 1};  // too few segments: three are used
    o.Freeze(vhost::kFreezeLathe);
    EXPECT_EQ(Count(o).quads, 3) << axis;
    EXPECT_EQ(Count(o).vertices, 6) << axis;
  }
}

TEST_F(Freeze, LatheKeepsFacesThatAreNotProfiles) {
  Object& o = testing_support::Quad(NewObject(), {5, 0, 0});
  testing_support::Profile(o, {{1, 0, 0}, {1, 1, 0}});
  o.lathe = {1, 1, 4};
  o.Freeze(vhost::kFreezeLathe);
  EXPECT_EQ(Count(o).quads, 1 + 4);
  EXPECT_EQ(Count(o).vertices, 4 + 2 * 4);
}

TEST_F(Freeze, PatchSubdividesEveryFaceIntoQuads) {
  if (!Object::CanSubdivide()) GTEST_SKIP() << "this host build has no subdivision";
  // Cube, level 1: 8 corners + 12 edge points + 6 face points; 6 × 4 quads.
  Object& cube1 = testing_support::Cube(NewObject());
  cube1.patch = {1, 1};
  cube1.Freeze(vhost::kFreezePatch);
  EXPECT_EQ(Count(cube1).vertices, 26);
  EXPECT_EQ(Count(cube1).quads, 24);
  EXPECT_EQ(Count(cube1).faces, 24);
  EXPECT_EQ(cube1.patch.type, 0);
  // Level 2: 26 + 48 edges + 24 faces; 24 × 4 quads.
  Object& cube2 = testing_support::Cube(NewObject());
  cube2.patch = {1, 2};
  cube2.Freeze(vhost::kFreezePatch);
  EXPECT_EQ(Count(cube2).vertices, 98);
  EXPECT_EQ(Count(cube2).quads, 96);
  // A lone triangle: 3 quads (7 vertices), then 12 quads (7 + 9 edges + 3 faces).
  for (int32_t level : {1, 2}) {
    Object& tri = NewObject();
    testing_support::AddVertices(tri, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    tri.AddFace({0, 1, 2});
    tri.patch = {1, level};
    tri.Freeze(vhost::kFreezePatch);
    EXPECT_EQ(Count(tri).quads, level == 1 ? 3 : 12);
    EXPECT_EQ(Count(tri).vertices, level == 1 ? 7 : 19);
  }
}

TEST_F(Freeze, PatchKeepsLinesAttachedToTheSurface) {
  if (!Object::CanSubdivide()) GTEST_SKIP() << "this host build has no subdivision";
  Object& o = testing_support::Cube(NewObject());
  const int32_t tip = o.AddVertex({2, 2, 2});
  o.AddFace({6, tip});  // a line from the corner (1, 1, 1)
  o.patch = {1, 1};
  o.Freeze(vhost::kFreezePatch);
  const auto t = Count(o);
  EXPECT_EQ(t.lines, 1);
  EXPECT_EQ(t.quads, 24);
  EXPECT_EQ(t.vertices, 26 + 1);  // the line's foot is the corner's refined vertex
}

TEST_F(Freeze, FlagsSelectWhatIsApplied) {
  Object& o = testing_support::Quad(NewObject(), {1, 0, 0});
  o.mirror = {1, 1, 0};
  o.Freeze(vhost::kFreezeLathe);  // not the mirror
  EXPECT_EQ(Count(o).quads, 1);
  EXPECT_EQ(o.mirror.type, 1);
  o.Freeze(0x7FFFFFFF);
  EXPECT_EQ(Count(o).quads, 2);
}

TEST_F(Freeze, DropsDeletedFacesAndKeepsUnusedVertices) {
  Object& o = testing_support::Quad(NewObject(), {1, 0, 0});
  o.AddFace({0, 1, 2});
  o.DeleteFace(1);
  o.AddVertex({9, 9, 9});
  o.mirror = {1, 1, 0};
  o.Freeze(vhost::kFreezeMirror);
  EXPECT_EQ(o.FaceCount(), 2);
  EXPECT_EQ(Count(o).vertices, 8);
}

}  // namespace
