// Widget kinds through the stand-in host: windows and what they own, the Create…
// operations, property accessors with their value types, and teardown order.
#include "widgets/widget_kinds.h"

#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>

#include "widget_test_support.h"

namespace {

using testing_support::WidgetTest;
using vhost::WidgetOpCode;

class WidgetKinds : public WidgetTest {
 protected:
  void SetUp() override {
    WidgetTest::SetUp();
    main.reset(new MQWindow(GetMainWindow()));  // no copy: the registered wrapper itself
  }
  void TearDown() override {
    main.reset();
    WidgetTest::TearDown();
  }
  std::unique_ptr<MQWindow> main;
};

TEST_F(WidgetKinds, WindowIsCreatedAndAttachedToItsParent) {
  MQWindow window(*main);
  ASSERT_NE(window.GetID(), 0);
  EXPECT_EQ(Host().Find(window.GetID())->kind, "window");
  const vhost::WidgetCall attach = Last();
  EXPECT_EQ(attach.operation, WidgetOpCode::AddChildWindow);
  EXPECT_EQ(attach.widget, main->GetID());
  EXPECT_EQ(*attach.Arg("child"), std::to_string(window.GetID()));
  EXPECT_EQ(*attach.Arg("result"), "-1");
  EXPECT_EQ(Host().Find(main->GetID())->childWindows, std::vector<int32_t>{window.GetID()});
}

TEST_F(WidgetKinds, WindowWithoutAnIdIsStillAttached) {
  Host().faults().createYieldsZero = true;
  {
    MQWindow window(*main);
    EXPECT_EQ(window.GetID(), 0);
    EXPECT_EQ(Last().operation, WidgetOpCode::AddChildWindow);
    EXPECT_EQ(*Last().Arg("child"), "0");
  }
  EXPECT_EQ(Count(WidgetOpCode::Delete), 0u);
}

TEST_F(WidgetKinds, CreateOperationsMakeSetAndPlaceEachKind) {
  MQWindow window(*main);
  MQFrame* row = window.CreateHorizontalFrame(&window);
  MQFrame* column = window.CreateVerticalFrame(row);
  MQGroupBox* group = window.CreateGroupBox(column, u"current");
  MQCheckBox* check = window.CreateCheckBox(group, u"Update");
  MQLabel* label = window.CreateLabel(group, u"V");
  MQEdit* edit = window.CreateEdit(group, u"");

  const vhost::WidgetTree& host = Host();
  EXPECT_EQ(host.Find(row->GetID())->kind, "frame");
  EXPECT_EQ(host.Text(row->GetID(), "alignment"), "horz");
  EXPECT_EQ(host.Text(column->GetID(), "alignment"), "vert");
  EXPECT_EQ(host.Find(group->GetID())->kind, "groupbox");
  EXPECT_EQ(host.Text(group->GetID(), "text"), "current");
  EXPECT_EQ(host.Find(check->GetID())->kind, "checkbox");
  EXPECT_EQ(host.WideText(check->GetID(), "text"), u"Update");
  EXPECT_EQ(host.Find(label->GetID())->kind, "label");
  EXPECT_EQ(host.Find(edit->GetID())->kind, "edit");
  EXPECT_EQ(host.Find(window.GetID())->children, std::vector<int32_t>{row->GetID()});
  EXPECT_EQ(host.Find(row->GetID())->children, std::vector<int32_t>{column->GetID()});
  EXPECT_EQ(host.Find(group->GetID())->children,
            (std::vector<int32_t>{check->GetID(), label->GetID(), edit->GetID()}));

  // Per widget: Create, then its one property, then AddChild into the parent.
  const std::string editId = std::to_string(edit->GetID());
  std::vector<std::string> forEdit;
  for (const vhost::WidgetCall& call : host.Trace()) {
    const std::string* child = call.Arg("child");
    if (call.widget == edit->GetID() || call.answer == editId ||
        (child != nullptr && *child == editId)) {
      forEdit.push_back(call.ToString());
    }
  }
  EXPECT_EQ(forEdit, (std::vector<std::string>{"Create #0 type=edit id=0 -> " + editId,
                                               "SetValue #" + editId + " text=",
                                               "AddChild #" + std::to_string(group->GetID()) +
                                                   " child=" + editId + " result=-1 -> 2"}));
}

TEST_F(WidgetKinds, LabelWithoutParentIsOwnedAndTextedButNotPlaced) {
  MQWindow window(*main);
  const std::size_t addChildren = Count(WidgetOpCode::AddChild);
  MQLabel* label = window.CreateLabel(nullptr, u"free");
  EXPECT_EQ(Host().Text(label->GetID(), "text"), "free");
  EXPECT_EQ(Count(WidgetOpCode::AddChild), addChildren);
  EXPECT_EQ(FindWidget(label->GetID()), label);
}

TEST_F(WidgetKinds, WindowWithSixChildrenSendsSevenDeletesWindowLast) {
  auto window = std::make_unique<MQWindow>(*main);
  const int32_t windowId = window->GetID();
  std::set<int32_t> children;
  MQFrame* frame = window->CreateHorizontalFrame(window.get());
  children.insert(frame->GetID());
  children.insert(window->CreateVerticalFrame(frame)->GetID());
  children.insert(window->CreateGroupBox(frame, u"g")->GetID());
  children.insert(window->CreateCheckBox(frame, u"c")->GetID());
  children.insert(window->CreateLabel(nullptr, u"l")->GetID());
  children.insert(window->CreateEdit(frame, u"e")->GetID());
  ASSERT_EQ(children.size(), 6u);
  Host().ClearTrace();

  window.reset();
  const std::vector<vhost::WidgetCall> deletes = Host().TraceOf(WidgetOpCode::Delete);
  ASSERT_EQ(deletes.size(), 7u);
  std::set<int32_t> deletedFirst;
  for (std::size_t i = 0; i < 6; ++i) deletedFirst.insert(deletes[i].widget);
  EXPECT_EQ(deletedFirst, children);
  EXPECT_EQ(deletes[6].widget, windowId);
  for (const vhost::WidgetCall& call : deletes) EXPECT_TRUE(call.accepted) << call.ToString();
  EXPECT_EQ(Host().Trace().size(), 7u);  // nothing else on the way out
}

TEST_F(WidgetKinds, AccessorsSendOneKeyWithItsValueType) {
  MQWindow window(*main);
  MQFrame* frame = window.CreateHorizontalFrame(&window);
  MQGroupBox* group = window.CreateGroupBox(frame, u"g");
  MQCheckBox* check = window.CreateCheckBox(frame, u"c");
  MQEdit* edit = window.CreateEdit(frame, u"");
  Host().ClearTrace();

  window.SetTitle(u"Z\u00e4hler \u2713 \U0001F600");  // non-ASCII and a surrogate pair
  window.SetHorzLayout("auto");
  window.SetVertLayout("auto");
  window.SetPosX(140);
  window.SetPosY(-20);
  window.SetVisible(true);
  window.SetHeight(333);
  frame->SetAlignment("vert");
  frame->SetMultiColumn(true);
  frame->SetMatrixColumn(2);
  group->SetText(u"all");
  group->SetCanMinimize(true);
  group->SetMinimized(true);
  check->SetText(u"Polygon");
  check->SetChecked(true);
  edit->SetText(u"12345");
  edit->SetReadOnly(true);
  edit->SetAlignment("right");

  std::vector<std::string> sent;
  for (const vhost::WidgetCall& call : Host().Trace()) {
    ASSERT_EQ(call.operation, WidgetOpCode::SetValue);
    ASSERT_EQ(call.args.size(), 1u) << call.ToString();
    EXPECT_TRUE(call.accepted) << call.ToString();
    sent.push_back(call.args[0].name + "=" + call.args[0].value);
  }
  EXPECT_EQ(sent, (std::vector<std::string>{
                      "title=Z\xC3\xA4hler \xE2\x9C\x93 \xF0\x9F\x98\x80", "horzlayout=auto",
                      "vertlayout=auto", "pos_x=140", "pos_y=-20", "visible=true", "height=333",
                      "alignment=vert", "multicolumn=true", "matrixcolumn=2", "text=all",
                      "canminimize=true", "minimized=true", "text=Polygon", "checked=true",
                      "text=12345", "readonly=true", "alignment=right"}));

  // And the getters read back what the host holds.
  EXPECT_EQ(window.GetPosX(), 140);
  EXPECT_EQ(window.GetPosY(), -20);
  EXPECT_TRUE(group->GetMinimized());
  EXPECT_TRUE(check->GetChecked());
  check->SetChecked(false);
  EXPECT_FALSE(check->GetChecked());
  EXPECT_EQ(Host().WideText(window.GetID(), "title"), u"Z\u00e4hler \u2713 \U0001F600");
}

TEST_F(WidgetKinds, JustSizeFollowsShownAndHiddenFrames) {
  MQWindow window(*main);
  MQFrame* options = window.CreateHorizontalFrame(&window);
  options->SetMultiColumn(true);
  options->SetMatrixColumn(2);
  for (const char16_t* text : {u"Update", u"All", u"Visible", u"Freeze"})
    window.CreateCheckBox(options, text);
  MQGroupBox* group = window.CreateGroupBox(&window, u"all");
  group->SetCanMinimize(true);
  MQFrame* rows = window.CreateHorizontalFrame(group);
  for (const char16_t* text : {u"2", u"3"}) window.CreateLabel(rows, text);

  const SizeRecord full = window.GetJustSize();
  EXPECT_GT(full.width, 0);
  EXPECT_GT(full.height, 0);
  EXPECT_EQ(full.reserved1, -1);  // left as the caller preset them

  rows->SetVisible(false);
  const int32_t withoutRows = window.GetJustSize().height;
  EXPECT_LT(withoutRows, full.height);
  group->SetMinimized(true);
  EXPECT_LT(window.GetJustSize().height, full.height);
  group->SetMinimized(false);
  rows->SetVisible(true);
  EXPECT_EQ(window.GetJustSize().height, full.height);

  options->SetMatrixColumn(4);  // one row of four instead of two rows of two
  EXPECT_LT(window.GetJustSize().height, full.height);
}

// A window whose own construction fails after it made its host window and children.
class FailingWindow : public MQWindow {
 public:
  explicit FailingWindow(MQWindowBase& parent) : MQWindow(parent) {
    MQFrame* frame = CreateVerticalFrame(this);
    CreateCheckBox(frame, u"a");
    CreateLabel(nullptr, u"b");
    throw std::runtime_error("construction failed");
  }
};

TEST_F(WidgetKinds, FailingWindowConstructionDeletesChildrenThenWindow) {
  EXPECT_THROW(FailingWindow window(*main), std::runtime_error);
  const std::vector<vhost::WidgetCall> creates = Host().TraceOf(WidgetOpCode::Create);
  const std::vector<vhost::WidgetCall> deletes = Host().TraceOf(WidgetOpCode::Delete);
  ASSERT_EQ(creates.size(), 4u);
  ASSERT_EQ(deletes.size(), 4u);
  EXPECT_EQ(deletes.back().widget, std::stoi(creates.front().answer));  // the window, last
  EXPECT_EQ(RegisteredWidgetCount(), 1u);                               // the main window
}

TEST_F(WidgetKinds, ChildThatCannotBeOwnedIsDeletedAtOnce) {
  MQWindow window(*main);
  int32_t made = 0;
  Host().options.afterCreate = [&made](int32_t id, const std::string& /*kind*/) {
    made = id;
    testing_support::FailAllocation(1);  // past the registry's node, into the window's set
  };
  EXPECT_THROW(window.CreateCheckBox(&window, u"lost"), std::bad_alloc);
  Host().options.afterCreate = nullptr;
  ASSERT_NE(made, 0);
  EXPECT_FALSE(Host().IsAlive(made));
  EXPECT_EQ(FindWidget(made), nullptr);
  EXPECT_TRUE(Host().Find(window.GetID())->children.empty());

  // The window goes on working and owns what it makes from then on.
  MQCheckBox* box = window.CreateCheckBox(&window, u"kept");
  EXPECT_EQ(FindWidget(box->GetID()), box);
}

TEST_F(WidgetKinds, ChildWithoutIdIsOwnedAndItsCallsGoOutWithIdZero) {
  {
    MQWindow window(*main);
    Host().faults().createYieldsZero = true;
    MQLabel* label = window.CreateLabel(&window, u"ghost");
    EXPECT_EQ(label->GetID(), 0);
    EXPECT_EQ(Last().operation, WidgetOpCode::AddChild);
    EXPECT_EQ(*Last().Arg("child"), "0");
    Host().ClearTrace();
  }
  // Only the window itself had a host widget to delete.
  EXPECT_EQ(Count(WidgetOpCode::Delete), 1u);
}

}  // namespace
