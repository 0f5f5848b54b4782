// The identity entry points and the kind-dependent forwarding of the others.
#include "protocol/entry_points.h"

#include <gtest/gtest.h>

#include <new>

#include "test_plugins.h"

using testing_plugins::RecordingFilePlugin;
using testing_plugins::RecordingMenuPlugin;
using testing_plugins::RecordingStation;

namespace {

class EntryPoints : public ::testing::Test {
 protected:
  void TearDown() override { testing_plugins::UsePlugin(nullptr); }
};

TEST_F(EntryPoints, IdentityComesFromThePluginObject) {
  RecordingStation station;
  testing_plugins::UsePlugin(&station);
  uint32_t product = 0;
  uint32_t id = 0;
  MQGetPlugInID(&product, &id);
  EXPECT_EQ(product, 0x11111111u);
  EXPECT_EQ(id, 0x22222222u);
  EXPECT_STREQ(MQGetPlugInName(), "Recording plug-in");
  EXPECT_EQ(MQGetPlugInType(), 6);
}

TEST_F(EntryPoints, StationHasExactlyOneMenuStringAndNoFileKinds) {
  RecordingStation station;
  testing_plugins::UsePlugin(&station);
  EXPECT_STREQ(MQEnumString(0), "Recording");
  EXPECT_EQ(MQEnumString(1), nullptr);
  EXPECT_EQ(MQEnumString(-1), nullptr);
  EXPECT_EQ(MQEnumFileType(0), nullptr);
  EXPECT_EQ(MQEnumFileExt(0), nullptr);

  station.type = 7;  // the command kind answers the same way
  EXPECT_STREQ(MQEnumString(0), "Recording");
  EXPECT_EQ(MQEnumString(1), nullptr);
  station.type = 42;
  EXPECT_EQ(MQEnumString(0), nullptr);
}

TEST_F(EntryPoints, FileAndMenuEntriesNeverReachAStationPlugin) {
  RecordingStation station;
  testing_plugins::UsePlugin(&station);
  for (int32_t type : {6, 1, 2, 3, 4, 5}) {  // also when it claims another kind
    station.type = type;
    EXPECT_EQ(MQImportFile(1, 2, 3), 0);
    EXPECT_EQ(MQExportFile(1, 2, 3), 0);
    EXPECT_EQ(MQCreate(1, 2), 0);
    EXPECT_EQ(MQModifyObject(1, 2), 0);
    EXPECT_EQ(MQModifySelect(1, 2), 0);
    EXPECT_EQ(MQEnumFileType(0), nullptr);
  }
  for (const auto& call : station.calls) {
    EXPECT_NE(call.op, "Initialize");
    EXPECT_NE(call.op, "Exit");
  }
}

TEST_F(EntryPoints, FilePluginsReceiveTheirEntries) {
  RecordingFilePlugin file;
  testing_plugins::UsePlugin(&file);
  for (int32_t type : {1, 2}) {
    file.type = type;
    file.calls.clear();
    EXPECT_STREQ(MQEnumFileType(0), "Test file (*.tst)");
    EXPECT_STREQ(MQEnumFileExt(0), "tst");
    EXPECT_EQ(MQEnumFileType(1), nullptr);
    EXPECT_EQ(MQImportFile(4, 5, 6), 9);
    EXPECT_EQ(MQExportFile(7, 8, 9), 9);
    ASSERT_EQ(file.calls.size(), 5u);
    EXPECT_EQ(file.calls[3].ints, (std::vector<int64_t>{4, 5, 6}));
    EXPECT_EQ(file.calls[4].ints, (std::vector<int64_t>{7, 8, 9}));
    EXPECT_EQ(MQEnumString(0), nullptr);
    EXPECT_EQ(MQCreate(1, 2), 0);
    EXPECT_EQ(MQOnEvent(nullptr, 1, nullptr), 0);  // events are for station plug-ins
  }
  file.type = 6;  // a file plug-in that claims to be a station gets nothing forwarded
  EXPECT_EQ(MQImportFile(1, 2, 3), 0);
}

TEST_F(EntryPoints, MenuPluginsReceiveTheirEntries) {
  RecordingMenuPlugin menu;
  testing_plugins::UsePlugin(&menu);
  for (int32_t type : {3, 4, 5}) {
    menu.type = type;
    menu.calls.clear();
    EXPECT_STREQ(MQEnumString(0), "Menu entry");
    EXPECT_STREQ(MQEnumString(1), "Menu entry");  // every index is forwarded
    EXPECT_EQ(MQEnumString(2), nullptr);
    EXPECT_EQ(MQCreate(10, 11), 8);
    EXPECT_EQ(MQModifyObject(12, 13), 8);
    EXPECT_EQ(MQModifySelect(14, 15), 8);
    ASSERT_EQ(menu.calls.size(), 6u);
    EXPECT_EQ(menu.calls[5].ints, (std::vector<int64_t>{14, 15}));
    EXPECT_EQ(MQImportFile(1, 2, 3), 0);
    EXPECT_EQ(MQEnumFileType(0), nullptr);
  }
}

class ThrowingStation : public RecordingStation {
 public:
  const char* GetPlugInName() override { throw std::bad_alloc(); }
  int32_t GetPlugInType() override { throw std::runtime_error("type"); }
  void GetPlugInID(uint32_t*, uint32_t*) override { throw std::bad_alloc(); }
};

TEST_F(EntryPoints, ExceptionsStopAtTheBoundary) {
  ThrowingStation station;
  testing_plugins::UsePlugin(&station);
  uint32_t product = 0;
  uint32_t id = 0;
  EXPECT_NO_THROW(MQGetPlugInID(&product, &id));
  EXPECT_EQ(MQGetPlugInName(), nullptr);
  EXPECT_EQ(MQGetPlugInType(), 0);
  EXPECT_EQ(MQEnumString(0), nullptr);
  EXPECT_EQ(MQEnumFileType(0), nullptr);
  EXPECT_EQ(MQImportFile(1, 2, 3), 0);
  EXPECT_EQ(MQCreate(1, 2), 0);
}

}  // namespace
