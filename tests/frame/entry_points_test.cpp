// The identity entry points and the kind-dependent forwarding of the others.
#include "protocol/entry_points.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "test_plugins.h"

using testing_support::RecordingFilePlugin;
using testing_support::RecordingMenuPlugin;
using testing_support::RecordingStation;

namespace {

class EntryPoints : public ::testing::Test {
 protected:
  void TearDown() override { testing_support::UsePlugin(nullptr); }
};

TEST_F(EntryPoints, IdentityComesFromThePluginObject) {
  RecordingStation station;
  testing_support::UsePlugin(&station);
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
  testing_support::UsePlugin(&station);
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
  testing_support::UsePlugin(&station);
  for (int32_t type : {6, 1, 2, 3, 4, 5}) {  // also when it claims another kind
    station.type = type;
    EXPECT_EQ(MQImportFile(1, 2, 3), 0);
    EXPECT_EQ(MQExportFile(1, 2, 3), 0);
    EXPECT_EQ(MQCreate(1, 2), 0);
    EXPECT_EQ(MQModifyObject(1, 2), 0);
    EXPECT_EQ(MQModifySelect(1, 2), 0);
    EXPECT_EQ(MQEnumFileType(0), nullptr);
  }
  EXPECT_TRUE(station.calls.empty());  // not even its menu string was asked for
}

// The twelve entry points that reach the plug-in object, each called once on a
// plug-in of every kind: what reaches the object, in order, and what the host
// gets back. Entries meant for another kind answer the neutral value and call
// nothing.
std::vector<std::string> Ops(const std::vector<testing_support::Call>& calls) {
  std::vector<std::string> ops;
  for (const auto& call : calls) ops.push_back(call.op);
  return ops;
}

struct Answers {
  uint32_t product = 0;
  uint32_t id = 0;
  const char* name = nullptr;
  int32_t type = 0;
  const char* menu0 = nullptr;
  const char* menu1 = nullptr;
  const char* fileType = nullptr;
  const char* fileExt = nullptr;
  BOOL imported = -1;
  BOOL exported = -1;
  BOOL created = -1;
  BOOL modifiedObject = -1;
  BOOL modifiedSelect = -1;
  BOOL event = -1;
};

Answers CallEveryEntry(int32_t event) {
  Answers a;
  MQGetPlugInID(&a.product, &a.id);
  a.name = MQGetPlugInName();
  a.type = MQGetPlugInType();
  a.menu0 = MQEnumString(0);
  a.menu1 = MQEnumString(1);
  a.fileType = MQEnumFileType(0);
  a.fileExt = MQEnumFileExt(0);
  a.imported = MQImportFile(1, 2, 3);
  a.exported = MQExportFile(4, 5, 6);
  a.created = MQCreate(7, 8);
  a.modifiedObject = MQModifyObject(9, 10);
  a.modifiedSelect = MQModifySelect(11, 12);
  void* none[] = {nullptr};  // an empty named-argument list
  a.event = MQOnEvent(nullptr, event, none);
  return a;
}

TEST_F(EntryPoints, EachKindReceivesExactlyItsOwnEntries) {
  {
    SCOPED_TRACE("station");
    RecordingStation station;
    testing_support::UsePlugin(&station);
    const Answers a = CallEveryEntry(1);
    EXPECT_EQ(a.product, 0x11111111u);
    EXPECT_EQ(a.id, 0x22222222u);
    EXPECT_STREQ(a.name, "Recording plug-in");
    EXPECT_EQ(a.type, 6);
    EXPECT_STREQ(a.menu0, "Recording");
    EXPECT_EQ(a.menu1, nullptr);
    EXPECT_EQ(a.fileType, nullptr);
    EXPECT_EQ(a.fileExt, nullptr);
    EXPECT_EQ(a.imported, 0);
    EXPECT_EQ(a.exported, 0);
    EXPECT_EQ(a.created, 0);
    EXPECT_EQ(a.modifiedObject, 0);
    EXPECT_EQ(a.modifiedSelect, 0);
    EXPECT_EQ(a.event, 5);  // Initialize's own answer
    EXPECT_EQ(Ops(station.calls),
              (std::vector<std::string>{"GetPlugInName", "EnumString", "Initialize"}));
  }
  {
    SCOPED_TRACE("command");
    testing_support::RecordingCommand command;
    testing_support::UsePlugin(&command);
    const Answers a = CallEveryEntry(120);
    EXPECT_EQ(a.type, 7);
    EXPECT_STREQ(a.menu0, "Recording");
    EXPECT_EQ(a.menu1, nullptr);
    EXPECT_EQ(a.fileType, nullptr);
    EXPECT_EQ(a.imported, 0);
    EXPECT_EQ(a.created, 0);
    EXPECT_EQ(a.event, 5);  // the mouse handler's own answer
    EXPECT_EQ(Ops(command.calls),
              (std::vector<std::string>{"GetPlugInName", "EnumString", "OnMouseEvent120"}));
  }
  for (int32_t type : {1, 2}) {
    SCOPED_TRACE("file kind " + std::to_string(type));
    RecordingFilePlugin file;
    file.type = type;
    testing_support::UsePlugin(&file);
    const Answers a = CallEveryEntry(1);
    EXPECT_STREQ(a.name, "File");
    EXPECT_EQ(a.type, type);
    EXPECT_EQ(a.menu0, nullptr);
    EXPECT_EQ(a.menu1, nullptr);
    EXPECT_STREQ(a.fileType, "Test file (*.tst)");
    EXPECT_STREQ(a.fileExt, "tst");
    EXPECT_EQ(a.imported, 9);
    EXPECT_EQ(a.exported, 9);
    EXPECT_EQ(a.created, 0);
    EXPECT_EQ(a.modifiedObject, 0);
    EXPECT_EQ(a.modifiedSelect, 0);
    EXPECT_EQ(a.event, 0);
    EXPECT_EQ(Ops(file.calls), (std::vector<std::string>{"EnumFileType", "EnumFileExt",
                                                         "TransferFile", "TransferFile"}));
  }
  for (int32_t type : {3, 4, 5}) {
    SCOPED_TRACE("menu kind " + std::to_string(type));
    RecordingMenuPlugin menu;
    menu.type = type;
    testing_support::UsePlugin(&menu);
    const Answers a = CallEveryEntry(1);
    EXPECT_STREQ(a.name, "Menu");
    EXPECT_EQ(a.type, type);
    EXPECT_STREQ(a.menu0, "Menu entry");
    EXPECT_STREQ(a.menu1, "Menu entry");
    EXPECT_EQ(a.fileType, nullptr);
    EXPECT_EQ(a.fileExt, nullptr);
    EXPECT_EQ(a.imported, 0);
    EXPECT_EQ(a.exported, 0);
    EXPECT_EQ(a.created, 8);
    EXPECT_EQ(a.modifiedObject, 8);
    EXPECT_EQ(a.modifiedSelect, 8);
    EXPECT_EQ(a.event, 0);
    ASSERT_EQ(menu.calls.size(), 5u);
    EXPECT_EQ(menu.calls[0].ints, (std::vector<int64_t>{0}));
    EXPECT_EQ(menu.calls[1].ints, (std::vector<int64_t>{1}));
    EXPECT_EQ(menu.calls[2].ints, (std::vector<int64_t>{7, 8}));
    EXPECT_EQ(menu.calls[3].ints, (std::vector<int64_t>{9, 10}));
    EXPECT_EQ(menu.calls[4].ints, (std::vector<int64_t>{11, 12}));
  }
}

TEST_F(EntryPoints, FilePluginsReceiveTheirEntries) {
  RecordingFilePlugin file;
  testing_support::UsePlugin(&file);
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
  testing_support::UsePlugin(&menu);
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
  testing_support::UsePlugin(&station);
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
