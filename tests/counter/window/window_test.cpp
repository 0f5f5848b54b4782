// The counter window: its look, its check boxes and group, and its close box.
#include "tests/counter/window/window_fixture.h"

namespace {

using Window = WindowTest;

TEST_F(Window, StartsHiddenWithTheDefaultOptions) {
  ASSERT_EQ(session->Start(), 1);
  const vhost::WidgetTree& tree = vhost::State().widgets;
  ASSERT_NE(session->Window(), 0);
  EXPECT_FALSE(tree.Bool(session->Window(), "visible"));
  EXPECT_FALSE(tree.Bool(session->CheckBox("Update"), "checked"));
  EXPECT_FALSE(tree.Bool(session->CheckBox("All"), "checked"));
  EXPECT_TRUE(tree.Bool(session->CheckBox("Visible"), "checked"));
  EXPECT_FALSE(tree.Bool(session->CheckBox("Freeze"), "checked"));
  EXPECT_TRUE(tree.Bool(session->CheckBox("Triangle"), "checked"));
  EXPECT_TRUE(tree.Bool(session->CheckBox("Polygon"), "checked"));
  ExpectPicture("initial_defaults");
}

TEST_F(Window, InitialLookFollowsAllAndPolygon) {
  const struct {
    const char* all;
    const char* polygon;
    const char* golden;
  } cases[] = {{"0", "1", "initial_all0_polygon1"},
               {"1", "1", "initial_all1_polygon1"},
               {"0", "0", "initial_all0_polygon0"},
               {"1", "0", "initial_all1_polygon0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.golden);
    TearDown();
    SetUp();
    session->StoreSetting("Veltrane_activate", "1");
    session->StoreSetting("all", c.all);
    session->StoreSetting("polygon", c.polygon);
    ASSERT_EQ(session->Start(), 1);
    const vhost::WidgetTree& tree = vhost::State().widgets;
    EXPECT_EQ(tree.Bool(session->GroupBox("all"), "minimized"), *c.all == '0');
    EXPECT_EQ(tree.Bool(session->CheckBox("All"), "checked"), *c.all == '1');
    ExpectPicture(c.golden);
  }
}

TEST_F(Window, WidgetTreeIsBuiltInOrder) {
  ASSERT_EQ(session->Start(), 1);
  const vhost::WidgetTree& tree = vhost::State().widgets;
  // Every check box is bound before it first shows its option.
  for (const char* caption : {"Update", "All", "Visible", "Freeze", "Triangle", "Polygon"}) {
    const int32_t id = session->CheckBox(caption);
    std::size_t bound = 0;
    std::size_t shown = 0;
    const auto& trace = tree.Trace();
    for (std::size_t i = 0; i < trace.size(); ++i) {
      if (trace[i].widget != id) continue;
      if (trace[i].operation == vhost::WidgetOpCode::AddEvent && bound == 0) bound = i;
      if (trace[i].Arg("checked") != nullptr && shown == 0) shown = i;
    }
    EXPECT_GT(bound, 0u) << caption;
    EXPECT_GT(shown, bound) << caption;
  }
  // Check boxes were created Update, All, Visible, Freeze, Triangle, Polygon.
  EXPECT_LT(session->CheckBox("Update"), session->CheckBox("All"));
  EXPECT_LT(session->CheckBox("All"), session->CheckBox("Visible"));
  EXPECT_LT(session->CheckBox("Triangle"), session->CheckBox("Polygon"));
}

TEST_F(Window, TickingAllRestoresTheGroupAndFillsIt) {
  TypicalDocument();
  StartCounting();
  EXPECT_EQ(Fields("all"), "     ");  // never written yet
  session->Click("All", doc);
  const vhost::WidgetTree& tree = vhost::State().widgets;
  EXPECT_FALSE(tree.Bool(session->GroupBox("all"), "minimized"));
  EXPECT_EQ(Fields("all"), "11 13 0 1 6 0");  // the hidden quad is left out
  session->Click("All", doc);
  EXPECT_TRUE(tree.Bool(session->GroupBox("all"), "minimized"));
  EXPECT_EQ(Fields("all"), "11 13 0 1 6 0");  // the last numbers stay
  ExpectPicture("typical_all_cleared");
}

TEST_F(Window, MinimisingTheGroupClearsAllAndFitsTheHeight) {
  TypicalDocument();
  StartCounting();
  const vhost::WidgetTree& tree = vhost::State().widgets;
  const int32_t all = session->CheckBox("All");
  session->SetAllMinimized(false, doc);  // the user restores the group
  EXPECT_TRUE(tree.Bool(all, "checked"));
  EXPECT_EQ(Field("all", "V"), "11");
  const int32_t openHeight = tree.Int(session->Window(), "height");
  EXPECT_EQ(openHeight, tree.JustSize(session->Window()).height);

  vhost::State().widgets.ClearTrace();
  session->SetAllMinimized(true, doc);
  EXPECT_FALSE(tree.Bool(all, "checked"));
  EXPECT_TRUE(tree.Bool(session->GroupBox("all"), "minimized"));
  EXPECT_LT(tree.Int(session->Window(), "height"), openHeight);
  EXPECT_EQ(tree.Int(session->Window(), "height"), tree.JustSize(session->Window()).height);
  EXPECT_EQ(TextWrites(), 6);  // the refresh writes the current column only
}

TEST_F(Window, AResizeOfAGroupInStepOnlyFitsTheHeight) {
  StartCounting();
  vhost::State().widgets.ClearTrace();
  vhost::State().widgets.Resize(session->GroupBox("all"), doc);
  const vhost::WidgetTree& tree = vhost::State().widgets;
  EXPECT_FALSE(tree.Bool(session->CheckBox("All"), "checked"));
  EXPECT_EQ(TextWrites(), 0);
  EXPECT_EQ(tree.TraceOf(vhost::WidgetOpCode::SetValue).size(), 1u);  // "height"
}

TEST_F(Window, PolygonShowsAndHidesTheKindRowsWithoutARecount) {
  TypicalDocument();
  StartCounting();
  session->Click("All", doc);
  const std::string before = Fields("current") + "|" + Fields("all");
  vhost::State().widgets.ClearTrace();
  session->Click("Polygon", doc);
  EXPECT_EQ(TextWrites(), 0);
  ExpectPicture("typical_polygon_off");
  const int32_t hiddenHeight = vhost::State().widgets.Int(session->Window(), "height");
  session->Click("Polygon", doc);
  EXPECT_EQ(TextWrites(), 0);
  EXPECT_GT(vhost::State().widgets.Int(session->Window(), "height"), hiddenHeight);
  EXPECT_EQ(Fields("current") + "|" + Fields("all"), before);
  ExpectPicture("typical_polygon_on");
}

TEST_F(Window, TriangleChangesOnlyTheTotalRow) {
  TypicalDocument();
  StartCounting();
  session->Click("All", doc);
  EXPECT_EQ(Fields("current"), "8 12 0 0 6 0");
  session->Click("Triangle", doc);
  EXPECT_EQ(Fields("current"), "8 6 0 0 6 0");
  EXPECT_EQ(Fields("all"), "11 7 0 1 6 0");
}

TEST_F(Window, UpdateOffFreezesTheNumbers) {
  TypicalDocument();
  StartCounting();
  EXPECT_EQ(Fields("current"), "8 12 0 0 6 0");
  session->Click("Update", doc);
  doc->currentIndex = 1;
  session->DocumentEvent(*doc, 220);
  session->IsActivated(doc);
  session->Click("Triangle", doc);  // other options change no number either
  EXPECT_EQ(Fields("current"), "8 12 0 0 6 0");
  session->Click("Update", doc);  // ticking it again recounts at once
  EXPECT_EQ(Fields("current"), "3 1 0 1 0 0");
}

TEST_F(Window, FreezeSwitchesAMirroredObjectToItsGeneratedGeometry) {
  testing_support::Quad(doc->AddObject("half")).mirror = {2, 1, 0};
  StartCounting();
  EXPECT_EQ(Fields("current"), "4 2 0 0 1 0");
  session->Click("Freeze", doc);
  EXPECT_EQ(Fields("current"), "6 4 0 0 2 0");
  session->Click("Freeze", doc);
  EXPECT_EQ(Fields("current"), "4 2 0 0 1 0");
  EXPECT_EQ(vhost::State().documents.LiveClones(), 0);
}

TEST_F(Window, UserClosingTheWindowTellsTheHostOnce) {
  StartCounting();
  vhost::State().messages.clear();
  session->CloseWindow(doc);
  ASSERT_EQ(vhost::State().messages.size(), 1u);
  EXPECT_EQ(vhost::State().messages[0].code, 100);
  EXPECT_EQ(session->IsActivated(doc), 0);
  EXPECT_FALSE(vhost::State().widgets.Bool(session->Window(), "visible"));
}

TEST_F(Window, HidingByThePluginSendsNothing) {
  StartCounting();
  vhost::State().messages.clear();
  EXPECT_EQ(session->Activate(doc, false), 0);
  EXPECT_FALSE(vhost::State().widgets.Bool(session->Window(), "visible"));
  EXPECT_TRUE(vhost::State().messages.empty());
  // A "hide" while already inactive stays silent too.
  vhost::State().widgets.Raise(session->Window(), session->Window(), "hide", doc);
  EXPECT_TRUE(vhost::State().messages.empty());
}

TEST_F(Window, ARepeatedStartShowsTheOptionsItReads) {
  // A second event 1 re-reads the stored options into the plug-in while its
  // window stays up: the window must then show what the plug-in counts with,
  // not what the user had ticked since.
  StartCounting();
  session->Click("All", doc);
  session->Click("Polygon", doc);
  session->Click("Triangle", doc);
  ASSERT_EQ(session->Start(), 1);  // nothing stored yet: the defaults
  const vhost::WidgetTree& tree = vhost::State().widgets;
  EXPECT_FALSE(tree.Bool(session->CheckBox("Update"), "checked"));
  EXPECT_FALSE(tree.Bool(session->CheckBox("All"), "checked"));
  EXPECT_TRUE(tree.Bool(session->GroupBox("all"), "minimized"));
  EXPECT_TRUE(tree.Bool(session->CheckBox("Triangle"), "checked"));
  EXPECT_TRUE(tree.Bool(session->CheckBox("Polygon"), "checked"));
  EXPECT_NE(session->Picture().find("|   2  ["), std::string::npos) << session->Picture();

  // And the other way round: options stored by a user are shown as read.
  session->StoreSetting("update", "1");
  session->StoreSetting("all", "1");
  session->StoreSetting("polygon", "0");
  session->StoreSetting("Veltrane_activate", "1");
  ASSERT_EQ(session->Start(), 1);
  EXPECT_TRUE(tree.Bool(session->CheckBox("Update"), "checked"));
  EXPECT_TRUE(tree.Bool(session->CheckBox("All"), "checked"));
  EXPECT_FALSE(tree.Bool(session->GroupBox("all"), "minimized"));
  EXPECT_EQ(session->Picture().find("|   2  ["), std::string::npos) << session->Picture();
  // Counting follows the boxes: "All" is ticked, so a refresh fills the group.
  TypicalDocument();
  session->DocumentEvent(*doc, 210);
  EXPECT_NE(Field("all", "V"), "");
}

TEST_F(Window, ExitDeletesEveryWidgetChildrenFirst) {
  ASSERT_EQ(session->Start(), 1);
  const int32_t window = session->Window();
  vhost::State().widgets.ClearTrace();
  EXPECT_EQ(session->Exit(), 1);
  const auto deletes = vhost::State().widgets.TraceOf(vhost::WidgetOpCode::Delete);
  ASSERT_FALSE(deletes.empty());
  EXPECT_EQ(deletes.back().widget, window);
  EXPECT_EQ(vhost::State().widgets.AliveIds(),
            (std::vector<int32_t>{vhost::State().widgets.MainWindow()}));
}

}  // namespace
