// MQOnEvent: every row of the event table, its defaults, its write-backs, and
// the codes that have no row.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <set>
#include <string>

#include "host/core/named_args.h"
#include "protocol/entry_points.h"
#include "protocol/named_args.h"
#include "test_plugins.h"

using testing_support::Call;
using testing_support::RecordingCommand;
using testing_support::RecordingStation;
using vhost::NamedArgs;

namespace {

// An address that must never be read: codes without a row, and mouse events
// on a station plug-in, answer without touching the option pointer.
void* const kPoison = reinterpret_cast<void*>(static_cast<uintptr_t>(0x10));

int g_documentStorage;
MQDocument const kDoc = &g_documentStorage;

template <class Plugin>
class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::UsePlugin(&plugin); }
  void TearDown() override { testing_support::UsePlugin(nullptr); }

  const Call& OnlyCall() {
    EXPECT_EQ(plugin.calls.size(), 1u);
    static const Call kNone{"<none>", nullptr, {}, {}, {}};
    return plugin.calls.empty() ? kNone : plugin.calls.front();
  }

  Plugin plugin;
};

using StationDispatch = DispatchTest<RecordingStation>;
using CommandDispatch = DispatchTest<RecordingCommand>;

struct Row {
  int32_t code;
  const char* op;
  bool forwardsResult;  // the host receives the operation's result, not 1
};

// The table's rows that a station plug-in receives.
const Row kStationRows[] = {
    {1, "Initialize", true},          {2, "Exit", false},
    {100, "Activate", true},          {101, "IsActivated", true},
    {102, "OnEvent102", false},       {103, "OnMessage", false},
    {110, "OnDrawScene", false},      {200, "OnDocumentOpened", false},
    {201, "OnDocumentClosed", false}, {202, "OnDocumentSaved", false},
    {210, "OnEvent210", true},        {211, "OnEvent211", true},
    {212, "OnEvent212", false},       {220, "OnEvent220", false},
    {221, "OnEvent221", false},       {222, "OnEvent222", false},
    {230, "OnEvent230", false},       {231, "OnEvent231", false},
    {240, "OnSceneEvent", false},
};

TEST_F(StationDispatch, EveryRowReachesItsOperationAndAnswersAsTheTableSays) {
  for (const Row& row : kStationRows) {
    SCOPED_TRACE(row.code);
    plugin.calls.clear();
    BOOL flag = 1;
    void* option = (row.code == 100 || row.code == 102) ? &flag : nullptr;
    plugin.result = 5;
    EXPECT_EQ(MQOnEvent(kDoc, row.code, option), row.forwardsResult ? 5 : 1);
    ASSERT_EQ(plugin.calls.size(), 1u);
    EXPECT_EQ(plugin.calls[0].op, row.op);
    // The document travels unchanged; Initialize and Exit receive none.
    EXPECT_EQ(plugin.calls[0].doc, row.code <= 2 ? nullptr : kDoc);

    plugin.result = 0;  // a false answer reaches the host as false, or is replaced by 1
    plugin.calls.clear();
    EXPECT_EQ(MQOnEvent(kDoc, row.code, option), row.forwardsResult ? 0 : 1);
  }
}

TEST_F(StationDispatch, CodesWithoutARowAnswerZeroAndReadNothing) {
  std::set<int32_t> rows;
  for (const Row& row : kStationRows) rows.insert(row.code);
  for (int32_t code = -3; code <= 300; ++code) {
    if (rows.count(code) != 0 || (code >= 120 && code <= 141)) continue;
    EXPECT_EQ(MQOnEvent(kDoc, code, kPoison), 0) << code;
  }
  for (int32_t code : {999, INT32_MIN, INT32_MAX, 0x10000 + 1}) {
    EXPECT_EQ(MQOnEvent(kDoc, code, kPoison), 0) << code;
  }
  EXPECT_TRUE(plugin.calls.empty());
}

TEST_F(StationDispatch, MouseAndKeyEventsHaveNoReceiverInAStationPlugin) {
  for (int32_t code = 120; code <= 141; ++code) {
    EXPECT_EQ(MQOnEvent(kDoc, code, kPoison), 0) << code;
  }
  EXPECT_TRUE(plugin.calls.empty());
}

TEST_F(StationDispatch, ActivationFlagIsReadThroughTheOptionPointer) {
  BOOL on = 2;
  MQOnEvent(kDoc, 100, &on);
  EXPECT_EQ(OnlyCall().ints, (std::vector<int64_t>{2}));
  plugin.calls.clear();
  BOOL off = 0;
  MQOnEvent(kDoc, 102, &off);
  EXPECT_EQ(OnlyCall().ints, (std::vector<int64_t>{0}));
}

TEST_F(StationDispatch, NullFlagPointerReadsFalse) {
  EXPECT_EQ(MQOnEvent(kDoc, 100, nullptr), 5);
  EXPECT_EQ(plugin.calls.at(0).ints, (std::vector<int64_t>{0}));
  EXPECT_EQ(MQOnEvent(kDoc, 102, nullptr), 1);
  EXPECT_EQ(plugin.calls.at(1).ints, (std::vector<int64_t>{0}));
}

TEST_F(StationDispatch, MissingArgumentsTakeTheRowDefaults) {
  for (bool nullList : {true, false}) {
    SCOPED_TRACE(nullList ? "null list" : "empty list");
    NamedArgs empty;
    void* option = nullList ? nullptr : empty.data();
    plugin.calls.clear();
    for (int32_t code : {103, 110, 200, 202, 210, 211, 212, 240}) MQOnEvent(kDoc, code, option);
    ASSERT_EQ(plugin.calls.size(), 8u);
    const auto& c = plugin.calls;
    EXPECT_EQ(c[0].ints, (std::vector<int64_t>{0, 0}));                  // src_product, src_id
    EXPECT_EQ(c[0].ptrs, (std::vector<const void*>{nullptr, nullptr}));  // description, message
    EXPECT_EQ(c[1].ints, (std::vector<int64_t>{1, 1}));                  // width, height
    EXPECT_EQ(c[1].ptrs, (std::vector<const void*>{nullptr}));           // scene
    EXPECT_EQ(c[2].ptrs, (std::vector<const void*>{nullptr, nullptr}));  // filename, xml_elem
    EXPECT_EQ(c[3].ints, (std::vector<int64_t>{0}));                     // save_uid starts false
    EXPECT_EQ(c[3].ptrs, (std::vector<const void*>{nullptr, nullptr}));
    EXPECT_EQ(c[4].ints, (std::vector<int64_t>{0}));  // state
    EXPECT_EQ(c[5].ints, (std::vector<int64_t>{0}));
    EXPECT_EQ(c[6].ints, (std::vector<int64_t>{0, 0}));  // state, size
    EXPECT_EQ(c[7].ptrs, (std::vector<const void*>{nullptr}));
  }
}

TEST_F(StationDispatch, PresentArgumentsArePassedOn) {
  int scene = 0;
  int xml = 0;
  int description = 0;
  int message = 0;
  const char* filename = "model.mqo";
  NamedArgs args;
  args.Int("src_product", -1)  // identifiers are unsigned: 0xFFFFFFFF
      .Int("src_id", 0x1234)
      .Value("description", &description)
      .Value("message", &message)
      .Value("scene", &scene)
      .Int("width", 640)
      .Int("height", 480)
      .Value("xml_elem", &xml)
      .Text("filename", filename)
      .Int("state", 3)
      .Int("size", 77);
  for (int32_t code : {103, 110, 200, 202, 210, 212, 240}) MQOnEvent(kDoc, code, args.data());
  const auto& c = plugin.calls;
  ASSERT_EQ(c.size(), 7u);
  EXPECT_EQ(c[0].ints, (std::vector<int64_t>{0xFFFFFFFFll, 0x1234}));
  EXPECT_EQ(c[0].ptrs, (std::vector<const void*>{&description, &message}));
  EXPECT_EQ(c[1].ints, (std::vector<int64_t>{640, 480}));
  EXPECT_EQ(c[1].ptrs, (std::vector<const void*>{&scene}));
  EXPECT_EQ(c[2].ptrs, (std::vector<const void*>{filename, &xml}));
  EXPECT_EQ(c[3].ptrs, (std::vector<const void*>{filename, &xml}));
  EXPECT_EQ(c[4].ints, (std::vector<int64_t>{3}));
  EXPECT_EQ(c[5].ints, (std::vector<int64_t>{3, 77}));
  EXPECT_EQ(c[6].ptrs, (std::vector<const void*>{&scene}));
}

TEST_F(StationDispatch, NullValuePointersCountAsMissing) {
  NamedArgs args;
  args.Value("width", nullptr).Value("height", nullptr).Value("state", nullptr);
  args.Value("result", nullptr).Value("save_uid", nullptr).Value("src_id", nullptr);
  plugin.messageResult = 42;
  plugin.setSaveUid = true;
  EXPECT_EQ(MQOnEvent(kDoc, 110, args.data()), 1);
  EXPECT_EQ(MQOnEvent(kDoc, 210, args.data()), 5);
  EXPECT_EQ(MQOnEvent(kDoc, 103, args.data()), 1);  // no write through a null "result"
  EXPECT_EQ(MQOnEvent(kDoc, 202, args.data()), 1);  // nor through a null "save_uid"
  ASSERT_EQ(plugin.calls.size(), 4u);
  EXPECT_EQ(plugin.calls[0].ints, (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(plugin.calls[1].ints, (std::vector<int64_t>{0}));
  EXPECT_EQ(plugin.calls[2].ints, (std::vector<int64_t>{0, 0}));
}

TEST_F(StationDispatch, MessageResultIsWrittenBackWhenThereIsASlot) {
  plugin.messageResult = 42;
  NamedArgs without;
  EXPECT_EQ(MQOnEvent(kDoc, 103, without.data()), 1);
  EXPECT_EQ(plugin.calls.size(), 1u);

  NamedArgs with;
  with.Slot("result", -7);
  EXPECT_EQ(MQOnEvent(kDoc, 103, with.data()), 1);
  EXPECT_EQ(with.IntAt("result"), 42);

  plugin.messageResult = 0;  // the base body's answer is written too
  EXPECT_EQ(MQOnEvent(kDoc, 103, with.data()), 1);
  EXPECT_EQ(with.IntAt("result"), 0);
}

TEST_F(StationDispatch, SaveUidIsWrittenOnlyWhenThePluginAsks) {
  NamedArgs args;
  args.Slot("save_uid", 77);
  EXPECT_EQ(MQOnEvent(kDoc, 202, args.data()), 1);
  EXPECT_EQ(args.IntAt("save_uid"), 77);  // untouched

  plugin.setSaveUid = true;
  EXPECT_EQ(MQOnEvent(kDoc, 202, args.data()), 1);
  EXPECT_EQ(args.IntAt("save_uid"), 1);

  NamedArgs missing;  // set, but nowhere to write it
  EXPECT_EQ(MQOnEvent(kDoc, 202, missing.data()), 1);
}

TEST_F(StationDispatch, FirstOfDuplicatedNamesWins) {
  NamedArgs args;
  args.Int("width", 10).Int("height", 20).Int("width", 30);
  MQOnEvent(kDoc, 110, args.data());
  EXPECT_EQ(OnlyCall().ints, (std::vector<int64_t>{10, 20}));
}

TEST_F(StationDispatch, NamesMatchExactlyAndCaseSensitively) {
  NamedArgs args;
  args.Int("Width", 10).Int("widt", 11).Int("width ", 12).Int("height", 20);
  MQOnEvent(kDoc, 110, args.data());
  EXPECT_EQ(OnlyCall().ints, (std::vector<int64_t>{1, 20}));
}

TEST_F(StationDispatch, NoExceptionLeavesTheEntryPoint) {
  plugin.throwNext = true;
  EXPECT_EQ(MQOnEvent(kDoc, 1, nullptr), 0);
  plugin.throwNext = true;
  EXPECT_EQ(MQOnEvent(kDoc, 2, nullptr), 0);
  plugin.throwNext = true;
  EXPECT_EQ(MQOnEvent(kDoc, 220, nullptr), 0);
  // The object still works afterwards.
  EXPECT_EQ(MQOnEvent(kDoc, 220, nullptr), 1);
}

TEST(FindNamedArg, WalksPairsUpToTheNullName) {
  int a = 1;
  int b = 2;
  void* list[] = {const_cast<char*>("a"), &a, const_cast<char*>("b"), &b, nullptr,
                  const_cast<char*>("c")};
  EXPECT_EQ(FindNamedArg(list, "a"), &a);
  EXPECT_EQ(FindNamedArg(list, "b"), &b);
  EXPECT_EQ(FindNamedArg(list, "c"), nullptr);  // beyond the end
  EXPECT_EQ(FindNamedArg(list, ""), nullptr);
  EXPECT_EQ(FindNamedArg(nullptr, "a"), nullptr);
  EXPECT_EQ(FindNamedArg(list, nullptr), nullptr);
}

TEST(FindNamedArg, ForEachVisitsInOrderAnswersInPlaceAndStopsOnFalse) {
  int a = 1;
  void* list[] = {const_cast<char*>("a"),
                  &a,
                  const_cast<char*>("a"),
                  nullptr,
                  const_cast<char*>("z"),
                  nullptr,
                  nullptr};
  std::string seen;
  mq::ForEachNamedArg(list, [&](const char* name, void*& value) {
    seen += name;
    if (value == nullptr) value = &a;  // a host answering through the list
  });
  EXPECT_EQ(seen, "aaz");
  EXPECT_EQ(list[3], &a);
  EXPECT_EQ(list[5], &a);
  // First match wins, even when a later entry has the same name.
  EXPECT_EQ(FindNamedArg(list, "a"), &a);
  int visited = 0;
  mq::ForEachNamedArg(list, [&](const char*, void*) { return ++visited < 2; });
  EXPECT_EQ(visited, 2);
  mq::ForEachNamedArg(nullptr, [&](const char*, void*) { ++visited; });
  EXPECT_EQ(visited, 2);
}

// --- Command plug-ins -----------------------------------------------------------

TEST_F(CommandDispatch, MouseEventsReachTheirSlotWithADecodedRecord) {
  int scene = 0;
  for (int32_t code = 120; code <= 130; ++code) {
    SCOPED_TRACE(code);
    plugin.calls.clear();
    NamedArgs args;
    args.Value("scene", &scene)
        .Int("button_state", 0x12)
        .Int("mouse_pos_x", 11)
        .Int("mouse_pos_y", -12)
        .Int("mouse_wheel", 120);
    EXPECT_EQ(MQOnEvent(kDoc, code, args.data()), 5);
    const Call& call = OnlyCall();
    EXPECT_EQ(call.op, "OnMouseEvent" + std::to_string(code));
    EXPECT_EQ(call.ptrs, (std::vector<const void*>{&scene}));
    const MouseState& m = call.mouse;
    EXPECT_EQ(m.pos_x, 11);
    EXPECT_EQ(m.pos_y, -12);
    EXPECT_EQ(m.wheel, 120);
    // 0x12: right (0x02) and middle (0x10).
    EXPECT_EQ(m.left_button, 0);
    EXPECT_EQ(m.middle_button, 1);
    EXPECT_EQ(m.right_button, 1);
    EXPECT_EQ(m.shift_key, 0);
    EXPECT_EQ(m.ctrl_key, 0);
    EXPECT_EQ(m.bit5_flag, 0);
  }
}

TEST_F(CommandDispatch, KeyEventsCarryTheKeyAndNoPosition) {
  for (int32_t code : {140, 141}) {
    plugin.calls.clear();
    NamedArgs args;
    args.Int("key", 0x41).Int("button_state", 0x3F).Int("mouse_pos_x", 5).Int("mouse_wheel", 9);
    EXPECT_EQ(MQOnEvent(kDoc, code, args.data()), 5);
    const Call& call = OnlyCall();
    EXPECT_EQ(call.op, "OnKeyEvent" + std::to_string(code));
    EXPECT_EQ(call.ints, (std::vector<int64_t>{0x41}));
    EXPECT_EQ(call.mouse.pos_x, 0);
    EXPECT_EQ(call.mouse.wheel, 0);
    for (int32_t flag : {call.mouse.left_button, call.mouse.middle_button, call.mouse.right_button,
                         call.mouse.shift_key, call.mouse.ctrl_key, call.mouse.bit5_flag}) {
      EXPECT_EQ(flag, 1);
    }
  }
}

TEST_F(CommandDispatch, MouseEventsWithoutArgumentsTakeZeros) {
  MQOnEvent(kDoc, 125, nullptr);
  const MouseState zero{};
  EXPECT_EQ(std::memcmp(&OnlyCall().mouse, &zero, sizeof zero), 0);
  EXPECT_EQ(OnlyCall().ptrs, (std::vector<const void*>{nullptr}));
}

TEST_F(CommandDispatch, CodesBetweenMouseRowsAreUnknown) {
  for (int32_t code : {119, 131, 135, 139, 142}) EXPECT_EQ(MQOnEvent(kDoc, code, kPoison), 0);
  EXPECT_TRUE(plugin.calls.empty());
}

TEST_F(CommandDispatch, StationRowsStillWork) {
  EXPECT_EQ(MQOnEvent(kDoc, 220, nullptr), 1);
  EXPECT_EQ(OnlyCall().op, "OnEvent220");
}

TEST(ButtonState, EachBitLandsInItsFlag) {
  struct Case {
    int32_t bits;
    MouseState expected;
  };
  const Case cases[] = {
      {0x01, {0, 0, 0, 1, 0, 0, 0, 0, 0}}, {0x02, {0, 0, 0, 0, 0, 1, 0, 0, 0}},
      {0x04, {0, 0, 0, 0, 0, 0, 1, 0, 0}}, {0x08, {0, 0, 0, 0, 0, 0, 0, 1, 0}},
      {0x10, {0, 0, 0, 0, 1, 0, 0, 0, 0}}, {0x20, {0, 0, 0, 0, 0, 0, 0, 0, 1}},
      {0x3F, {0, 0, 0, 1, 1, 1, 1, 1, 1}}, {0x12, {0, 0, 0, 0, 1, 1, 0, 0, 0}},
      {0x40, {0, 0, 0, 0, 0, 0, 0, 0, 0}}, {-1, {0, 0, 0, 1, 1, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    MouseState state{};
    DecodeButtonState(c.bits, state);
    EXPECT_EQ(std::memcmp(&state, &c.expected, sizeof state), 0) << std::hex << c.bits;
  }
}

}  // namespace
