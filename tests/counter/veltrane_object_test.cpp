// The plug-in object as the library holds it before the host sends anything.
#include <gtest/gtest.h>

#include <cstring>

#include "counter/veltrane.h"
#include "protocol/entry_points.h"

namespace {

TEST(VeltraneObject, StartsWithTheDocumentedOptions) {
  const Veltrane& v = TheVeltrane();
  EXPECT_EQ(v.window, nullptr);
  EXPECT_FALSE(v.activated);
  EXPECT_FALSE(v.update);
  EXPECT_FALSE(v.all);
  EXPECT_TRUE(v.visible);
  EXPECT_FALSE(v.freeze);
  EXPECT_TRUE(v.triangle);
  EXPECT_TRUE(v.polygon);
  EXPECT_EQ(GetPluginClass(), &TheVeltrane());
}

// What the host reads before it sends any event, straight through the exports:
// the identity it files the settings under and the menu it shows.
TEST(VeltraneObject, AnswersTheIdentityEntriesAsAStationWithOneMenuString) {
  uint32_t product = 0;
  uint32_t id = 0;
  MQGetPlugInID(&product, &id);
  EXPECT_EQ(product, 0x5A3C9E41u);
  EXPECT_EQ(id, 0x2D7B6F18u);
  const char* name = MQGetPlugInName();
  ASSERT_NE(name, nullptr);
  EXPECT_NE(*name, '\0');
  EXPECT_EQ(MQGetPlugInName(), name);  // static text: the host may keep the pointer
  EXPECT_EQ(MQGetPlugInType(), 6);
  EXPECT_STREQ(MQEnumString(0), "Veltrane");
  EXPECT_EQ(MQEnumString(1), nullptr);
  EXPECT_EQ(MQEnumFileType(0), nullptr);
  EXPECT_EQ(MQEnumFileExt(0), nullptr);
  EXPECT_EQ(MQImportFile(0, 0, 0), 0);
  EXPECT_EQ(MQCreate(0, 0), 0);
  EXPECT_EQ(TheVeltrane().window, nullptr);  // none of this built anything
}

TEST(VeltraneObject, WithoutAWindowActivationIsRefusedAndNothingChanges) {
  Veltrane& v = TheVeltrane();
  BOOL on = 1;
  EXPECT_EQ(MQOnEvent(nullptr, 100, &on), 0);
  EXPECT_FALSE(v.activated);
  EXPECT_EQ(MQOnEvent(nullptr, 101, nullptr), 0);
  EXPECT_EQ(MQOnEvent(nullptr, 211, nullptr), 0);
  EXPECT_EQ(MQOnEvent(nullptr, 221, nullptr), 1);
}

}  // namespace
