// Widget handles and the registry, through the stand-in host: creating and
// adopting construction, destruction, AddChild, and what unanswered reads give.
#include <algorithm>
#include <iterator>
#include <memory>
#include <new>

#include "frame/host_functions.h"
#include "protocol/entry_points.h"
#include "widget_test_support.h"
#include "widgets/widget_kinds.h"

namespace {

using testing_support::WidgetTest;
using vhost::WidgetOpCode;

using WidgetBase = WidgetTest;

TEST_F(WidgetBase, CreatedWidgetIsOwnedRegisteredAndDeletedOnceWithAnEmptyList) {
  int32_t id = 0;
  {
    MQCheckBox box;
    id = box.GetID();
    ASSERT_NE(id, 0);
    const vhost::WidgetCall create = Host().TraceOf(WidgetOpCode::Create).at(0);
    EXPECT_EQ(create.widget, 0);
    ASSERT_EQ(create.args.size(), 2u);
    EXPECT_EQ(create.args[0].name, "type");
    EXPECT_EQ(create.args[0].value, "checkbox");
    EXPECT_EQ(create.args[1].name, "id");
    EXPECT_EQ(create.args[1].value, "0");  // the wrapper's own field, still 0
    EXPECT_EQ(Host().Find(id)->kind, "checkbox");
    EXPECT_EQ(FindWidget(id), &box);
  }
  EXPECT_EQ(FindWidget(id), nullptr);
  EXPECT_FALSE(Host().IsAlive(id));
  ASSERT_EQ(Count(WidgetOpCode::Delete), 1u);
  EXPECT_EQ(Last().operation, WidgetOpCode::Delete);
  EXPECT_EQ(Last().widget, id);
  EXPECT_TRUE(Last().args.empty());
  EXPECT_TRUE(Last().accepted);
}

TEST_F(WidgetBase, CreationWithIdZeroOwnsNothingAndDeletesNothing) {
  Host().faults().createYieldsZero = true;
  {
    MQLabel label;
    EXPECT_EQ(label.GetID(), 0);
    EXPECT_EQ(FindWidget(0), nullptr);
    EXPECT_EQ(RegisteredWidgetCount(), 0u);
    label.SetText(u"still sent");  // property calls go out with ID 0
    EXPECT_EQ(Last().operation, WidgetOpCode::SetValue);
    EXPECT_EQ(Last().widget, 0);
  }
  EXPECT_EQ(Count(WidgetOpCode::Delete), 0u);
}

TEST_F(WidgetBase, DestroyedWrappersLeaveTheRegistryAndOthersStay) {
  auto a = std::make_unique<MQFrame>();
  auto b = std::make_unique<MQEdit>();
  const int32_t aId = a->GetID();
  const int32_t bId = b->GetID();
  EXPECT_NE(aId, bId);
  EXPECT_EQ(FindWidget(aId), a.get());
  EXPECT_EQ(FindWidget(bId), b.get());
  EXPECT_EQ(RegisteredWidgetCount(), 2u);
  a.reset();
  EXPECT_EQ(FindWidget(aId), nullptr);
  EXPECT_EQ(FindWidget(bId), b.get());
  b.reset();
  EXPECT_EQ(FindWidget(bId), nullptr);
  EXPECT_EQ(FindWidget(0), nullptr);
}

TEST_F(WidgetBase, AdoptedMainWindowIsRegisteredButNeverDeleted) {
  const int32_t main = Host().MainWindow();
  {
    MQWindow wrapper = GetMainWindow();
    EXPECT_EQ(wrapper.GetID(), main);
    EXPECT_EQ(FindWidget(main), &wrapper);
    const vhost::WidgetCall ask = Host().TraceOf(WidgetOpCode::GetSystem).at(0);
    EXPECT_EQ(ask.widget, 0);
    EXPECT_EQ(*ask.Arg("system"), "main_window");
    EXPECT_EQ(*ask.Arg("result"), "-1");
  }
  EXPECT_EQ(FindWidget(main), nullptr);
  EXPECT_EQ(Count(WidgetOpCode::Delete), 0u);
  EXPECT_TRUE(Host().IsAlive(main));
}

TEST_F(WidgetBase, UnansweredMainWindowIsMinusOneAndStillRegistered) {
  Host().faults().silentReads = true;
  MQWindow wrapper = GetMainWindow();
  EXPECT_EQ(wrapper.GetID(), -1);
  EXPECT_EQ(FindWidget(-1), &wrapper);
}

TEST_F(WidgetBase, FirstRegistrationWinsAndOnlyItsOwnerErasesIt) {
  const int32_t main = Host().MainWindow();
  MQWindow first = GetMainWindow();
  {
    MQWindow second = GetMainWindow();  // the same ID again: not registered
    EXPECT_EQ(second.GetID(), main);
    EXPECT_EQ(FindWidget(main), &first);
  }
  // The second wrapper did not take the first one's entry with it.
  EXPECT_EQ(FindWidget(main), &first);
  EXPECT_EQ(Count(WidgetOpCode::Delete), 0u);
}

TEST_F(WidgetBase, AddChildAnswersTheHostsResultAndNullWithoutACall) {
  MQFrame frame;
  MQCheckBox one;
  MQCheckBox two;
  const std::size_t before = Host().Trace().size();
  EXPECT_EQ(frame.AddChild(nullptr), -1);
  EXPECT_EQ(Host().Trace().size(), before);

  EXPECT_EQ(frame.AddChild(&one), 0);  // this host answers the child's position
  EXPECT_EQ(frame.AddChild(&two), 1);
  EXPECT_EQ(*Last().Arg("child"), std::to_string(two.GetID()));
  EXPECT_EQ(*Last().Arg("result"), "-1");
  EXPECT_EQ(Host().Find(frame.GetID())->children, (std::vector<int32_t>{one.GetID(), two.GetID()}));

  Host().faults().silentReads = true;
  MQLabel three;
  EXPECT_EQ(frame.AddChild(&three), -1);
  EXPECT_EQ(Host().Find(three.GetID())->parent, frame.GetID());
}

TEST_F(WidgetBase, UnansweredReadsGiveThePresets) {
  MQWindow main = GetMainWindow();
  MQWindow window(main);
  MQCheckBox box;
  MQGroupBox group;
  window.SetPosX(300);
  box.SetChecked(true);
  group.SetMinimized(true);
  Host().faults().silentReads = true;
  Host().ClearTrace();

  EXPECT_FALSE(box.GetChecked());
  EXPECT_FALSE(group.GetMinimized());
  EXPECT_EQ(window.GetPosX(), 0);
  EXPECT_EQ(window.GetPosY(), 0);
  const SizeRecord size = window.GetJustSize();
  EXPECT_EQ(size.width, 0);
  EXPECT_EQ(size.height, 0);
  EXPECT_EQ(size.reserved1, -1);
  EXPECT_EQ(size.reserved2, -1);

  // What went out: one key each, preset as the protocol says.
  std::vector<std::string> sent;
  for (const vhost::WidgetCall& call : Host().TraceOf(WidgetOpCode::GetValue)) {
    ASSERT_EQ(call.args.size(), 1u) << call.ToString();
    sent.push_back(call.args[0].name + "=" + call.args[0].value);
  }
  EXPECT_EQ(sent, (std::vector<std::string>{"checked=false", "minimized=false", "pos_x=0",
                                            "pos_y=0", "justsize={0, 0, -1, -1}"}));
}

TEST_F(WidgetBase, FailedRegistrationDeletesTheHostWidgetItJustMade) {
  int32_t made = 0;
  Host().options.afterCreate = [&made](int32_t id, const std::string& /*kind*/) {
    made = id;
    testing_support::FailAllocation();  // the registry's next node
  };
  EXPECT_THROW(MQCheckBox box, std::bad_alloc);
  ASSERT_NE(made, 0);
  EXPECT_FALSE(Host().IsAlive(made));
  EXPECT_EQ(FindWidget(made), nullptr);
  const std::vector<vhost::WidgetCall> deletes = Host().TraceOf(WidgetOpCode::Delete);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_EQ(deletes[0].widget, made);
}

TEST_F(WidgetBase, UnboundHostMeansNoWidgetsAndNoCrash) {
  std::fill(std::begin(mq::detail::g_hostFunctions), std::end(mq::detail::g_hostFunctions),
            nullptr);
  {
    MQWindow main = GetMainWindow();
    MQWindow window(main);
    MQCheckBox* box = window.CreateCheckBox(&window, u"x");
    EXPECT_EQ(window.GetID(), 0);
    EXPECT_EQ(box->GetID(), 0);
    EXPECT_FALSE(box->GetChecked());
  }
  EXPECT_TRUE(Host().Trace().empty());
  ASSERT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
}

}  // namespace
