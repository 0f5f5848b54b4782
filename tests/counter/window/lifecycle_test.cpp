// The plug-in from start to exit: options and window position kept in the
// host's settings between runs.
#include <cstdio>

#include "tests/counter/window/window_fixture.h"

namespace {

using Lifecycle = WindowTest;

const char* const kKeysInOrder[] = {"Veltrane_activate", "update",  "all",  "visible", "freeze",
                                    "triangle",          "polygon", "PosX", "PosY"};

std::vector<std::string> StoredKeys() {
  vhost::SettingsTree& settings = vhost::State().settings;
  std::vector<std::string> keys;
  if (const void* section = settings.FindSection(vhost::veltrane::kSectionName)) {
    for (const auto& entry : settings.ListChildren(section)) keys.push_back(entry.name);
  }
  return keys;
}

TEST_F(Lifecycle, FirstRunWithAnEmptyTreeUsesTheDefaults) {
  ASSERT_EQ(session->Start(), 1);
  const vhost::WidgetTree& tree = vhost::State().widgets;
  const int32_t window = session->Window();
  ASSERT_NE(window, 0);
  EXPECT_FALSE(tree.Bool(window, "visible"));
  // No position was applied: the host's own place stands.
  for (const auto& call : tree.TraceOf(vhost::WidgetOpCode::SetValue)) {
    EXPECT_EQ(call.Arg("pos_x"), nullptr);
    EXPECT_EQ(call.Arg("pos_y"), nullptr);
  }
  // The section now exists, empty.
  EXPECT_NE(vhost::State().settings.FindSection(vhost::veltrane::kSectionName), nullptr);
  EXPECT_TRUE(StoredKeys().empty());
}

TEST_F(Lifecycle, ExitWritesTheNineKeysInOrder) {
  ASSERT_EQ(session->Start(), 1);
  session->Activate(doc, true);
  session->Click("All", doc);
  session->Click("Triangle", doc);
  vhost::State().widgets.Put(session->Window(), "pos_x", int32_t{120});
  vhost::State().widgets.Put(session->Window(), "pos_y", int32_t{-5});
  ASSERT_EQ(session->Exit(), 1);
  EXPECT_EQ(StoredKeys(),
            std::vector<std::string>(std::begin(kKeysInOrder), std::end(kKeysInOrder)));
  const char* const expected[] = {"1", "0", "1", "1", "0", "0", "1", "120", "-5"};
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(session->StoredSetting(kKeysInOrder[i]), expected[i]) << kKeysInOrder[i];
  }
  // After exit no widget of the plug-in is left in the host.
  EXPECT_EQ(vhost::State().widgets.AliveIds(),
            (std::vector<int32_t>{vhost::State().widgets.MainWindow()}));
}

TEST_F(Lifecycle, SavingTwiceLeavesOneElementPerKey) {
  ASSERT_EQ(session->Start(), 1);
  ASSERT_EQ(session->Exit(), 1);
  ASSERT_EQ(session->Start(), 1);
  session->Click("Freeze", doc);
  ASSERT_EQ(session->Exit(), 1);
  EXPECT_EQ(StoredKeys().size(), 9u);
  EXPECT_EQ(session->StoredSetting("freeze"), "1");
}

TEST_F(Lifecycle, StoredOptionsActivationAndPositionComeBack) {
  session->StoreSetting("Veltrane_activate", "1");
  session->StoreSetting("update", "1");
  session->StoreSetting("visible", "0");
  session->StoreSetting("triangle", " 7");  // parsed like _wtoi: true
  session->StoreSetting("PosX", "100");
  session->StoreSetting("PosY", "200");
  ASSERT_EQ(session->Start(), 1);
  const vhost::WidgetTree& tree = vhost::State().widgets;
  const int32_t window = session->Window();
  EXPECT_TRUE(tree.Bool(window, "visible"));  // it was open at exit
  EXPECT_EQ(tree.Int(window, "pos_x"), 100);
  EXPECT_EQ(tree.Int(window, "pos_y"), 200);
  EXPECT_TRUE(tree.Bool(session->CheckBox("Update"), "checked"));
  EXPECT_FALSE(tree.Bool(session->CheckBox("Visible"), "checked"));
  EXPECT_TRUE(tree.Bool(session->CheckBox("Triangle"), "checked"));
  // Nothing is counted until an event that recounts.
  EXPECT_EQ(session->Field("current", "V"), "");
}

TEST_F(Lifecycle, AnIncompleteOrNegativePositionIsNotApplied) {
  for (const auto& [x, y] :
       {std::pair<const char*, const char*>{"100", nullptr}, {"-1", "50"}, {"30", "-8"}}) {
    TearDown();
    SetUp();
    session->StoreSetting("PosX", x);
    if (y != nullptr) session->StoreSetting("PosY", y);
    ASSERT_EQ(session->Start(), 1);
    for (const auto& call : vhost::State().widgets.TraceOf(vhost::WidgetOpCode::SetValue)) {
      EXPECT_EQ(call.Arg("pos_x"), nullptr) << x;
    }
  }
}

TEST_F(Lifecycle, WithoutASettingsElementTheWindowStillComesAndGoes) {
  vhost::State().faults.noSettingsElement = true;
  ASSERT_EQ(session->Start(), 1);
  ASSERT_NE(session->Window(), 0);
  EXPECT_EQ(session->Activate(doc, true), 1);
  ASSERT_EQ(session->Exit(), 1);
  EXPECT_EQ(session->Window(), 0);
  EXPECT_EQ(vhost::State().widgets.AliveIds(),
            (std::vector<int32_t>{vhost::State().widgets.MainWindow()}));
}

TEST_F(Lifecycle, ASecondStartRereadsOptionsButMakesNoSecondWindow) {
  ASSERT_EQ(session->Start(), 1);
  const int32_t window = session->Window();
  const std::size_t widgets = vhost::State().widgets.AliveIds().size();
  session->StoreSetting("all", "1");
  ASSERT_EQ(session->Start(), 1);
  EXPECT_EQ(session->Window(), window);
  EXPECT_EQ(vhost::State().widgets.AliveIds().size(), widgets);
  // The option is read again; the check box keeps what it showed.
  session->Activate(doc, true);
  session->Click("Update", doc);
  testing_support::Cube(doc->AddObject("cube"));
  session->DocumentEvent(*doc, 220);
  EXPECT_EQ(session->Field("all", "V"), "8");
}

TEST_F(Lifecycle, WithoutAWindowActivationAnswersFalse) {
  EXPECT_EQ(session->Activate(doc, true), 0);
  EXPECT_EQ(session->IsActivated(doc), 0);
  ASSERT_EQ(session->Start(), 1);
  ASSERT_EQ(session->Exit(), 1);
  EXPECT_EQ(session->Activate(doc, true), 0);
  EXPECT_EQ(session->IsActivated(doc), 0);
}

TEST_F(Lifecycle, UnloadingWithTheWindowOpenDeletesIt) {
  ASSERT_EQ(session->Start(), 1);
  session.reset();  // no exit event: the library's own teardown deletes the window
  EXPECT_EQ(vhost::State().widgets.AliveIds(),
            (std::vector<int32_t>{vhost::State().widgets.MainWindow()}));
}

#if !defined(_WIN32)  // the Windows host keeps its settings in memory only

TEST_F(Lifecycle, ASecondRunReadsTheSameSettingsFile) {
  const std::string path = ::testing::TempDir() + "veltrane-lifecycle-settings.xml";
  std::remove(path.c_str());
  ASSERT_TRUE(vhost::State().settings.LoadFile(path).ok());
  ASSERT_EQ(session->Start(), 1);
  session->Activate(doc, true);
  session->Click("Update", doc);
  session->Click("Polygon", doc);
  vhost::State().widgets.Put(session->Window(), "pos_x", int32_t{64});
  vhost::State().widgets.Put(session->Window(), "pos_y", int32_t{48});
  ASSERT_EQ(session->Exit(), 1);
  ASSERT_TRUE(vhost::State().settings.SaveFile().ok());

  // A new host: fresh state, the file read back, the plug-in loaded again.
  TearDown();
  SetUp();
  ASSERT_TRUE(vhost::State().settings.LoadFile(path).ok());
  ASSERT_EQ(session->Start(), 1);
  const vhost::WidgetTree& tree = vhost::State().widgets;
  EXPECT_TRUE(tree.Bool(session->Window(), "visible"));
  EXPECT_EQ(tree.Int(session->Window(), "pos_x"), 64);
  EXPECT_EQ(tree.Int(session->Window(), "pos_y"), 48);
  EXPECT_TRUE(tree.Bool(session->CheckBox("Update"), "checked"));
  EXPECT_FALSE(tree.Bool(session->CheckBox("Polygon"), "checked"));
  std::remove(path.c_str());
}

#endif

}  // namespace
