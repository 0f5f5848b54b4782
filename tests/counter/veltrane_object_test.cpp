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

TEST(VeltraneObject, OptionsAreOneByteEach) {
  EXPECT_EQ(sizeof(Veltrane::activated), 1u);
  EXPECT_EQ(sizeof(Veltrane::polygon), 1u);
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
