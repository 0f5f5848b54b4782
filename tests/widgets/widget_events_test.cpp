// Widget event routing: bindings, the registration the host receives, and
// WidgetEventProc as the stand-in host (playing the user) and hand-made
// callbacks reach it.
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/core/named_args.h"
#include "widget_test_support.h"
#include "widgets/widget_kinds.h"

namespace {

using testing_support::WidgetTest;
using vhost::WidgetOpCode;

// Handlers record here, outside any object, so a call into a destroyed owner
// would show even though the owner cannot.
struct Seen {
  std::string handler;
  MQWidgetBase* sender;
  MQDocument doc;
  bool state;  // the widget state the handler read from the host
};
std::vector<Seen> g_seen;

// Stand-ins for host handles: distinct addresses the plug-in must pass on untouched.
char g_document = 0;
char g_canvas = 0;
char g_stranger = 0;
MQDocument const kDoc = &g_document;

// A small tool window like the plug-in's: a check box, a group, the window itself.
class Panel : public MQWindow {
 public:
  explicit Panel(MQWindowBase& parent) : MQWindow(parent) {
    check = CreateCheckBox(this, u"Tick");
    group = CreateGroupBox(this, u"Group");
    group->SetCanMinimize(true);
    check->AddExecuteEvent(this, &Panel::OnCheck);
    group->AddResizeEvent(this, &Panel::OnResize);
    AddHideEvent(this, &Panel::OnHide);
  }
  bool OnCheck(MQWidgetBase* sender, MQDocument doc) {
    g_seen.push_back({"check", sender, doc, check->GetChecked()});
    return answer;
  }
  bool OnResize(MQWidgetBase* sender, MQDocument doc) {
    g_seen.push_back({"resize", sender, doc, group->GetMinimized()});
    return answer;
  }
  bool OnHide(MQWidgetBase* sender, MQDocument doc) {
    g_seen.push_back({"hide", sender, doc, vhost::State().widgets.Bool(GetID(), "visible")});
    return answer;
  }
  bool OnOther(MQWidgetBase* sender, MQDocument doc) {
    g_seen.push_back({"other", sender, doc, false});
    return true;
  }

  MQCheckBox* check = nullptr;
  MQGroupBox* group = nullptr;
  bool answer = false;
};

// A binding that hands the raw record to a test body.
class Probe final : public MQWidgetEventClosureBase {
 public:
  explicit Probe(std::function<bool(MQWidgetBase*, MQDocument, void*)> body_)
      : body(std::move(body_)) {}
  bool Invoke(MQWidgetBase* sender, MQDocument doc, void* record) override {
    return body(sender, doc, record);
  }
  bool IsEqual(const MQWidgetEventClosureBase& other) const override { return &other == this; }
  void* GetOwner() const override { return nullptr; }

 private:
  std::function<bool(MQWidgetBase*, MQDocument, void*)> body;
};

class WidgetEvents : public WidgetTest {
 protected:
  void SetUp() override {
    WidgetTest::SetUp();
    g_seen.clear();
    main.reset(new MQWindow(GetMainWindow()));
  }
  void TearDown() override {
    main.reset();
    std::vector<Seen>().swap(g_seen);  // with its memory: every case must leave as much as it found
    WidgetTest::TearDown();
  }

  // A callback as the host would make it, built by hand.
  static int32_t Callback(int32_t target, const char* type, void* binding, int32_t sender = 0) {
    vhost::NamedArgs args;
    args.Int("target_id", target).Int("sender_id", sender);
    if (type != nullptr) args.Text("type", type);
    return WidgetEventProc(kDoc, args.data(), binding);
  }

  std::unique_ptr<MQWindow> main;
};

TEST_F(WidgetEvents, UserActionsChangeTheWidgetBeforeTheHandlerRuns) {
  Panel panel(*main);
  EXPECT_EQ(Host().ClickCheckBox(panel.check->GetID(), kDoc), std::vector<int32_t>{0});
  panel.answer = true;
  EXPECT_EQ(Host().ClickCheckBox(panel.check->GetID(), kDoc), std::vector<int32_t>{1});
  EXPECT_EQ(Host().ToggleMinimized(panel.group->GetID(), kDoc), std::vector<int32_t>{1});
  panel.SetVisible(true);
  EXPECT_EQ(Host().CloseWindow(panel.GetID(), kDoc), std::vector<int32_t>{1});
  // A toolkit also reports the plug-in's own hiding of a shown window.
  panel.SetVisible(true);
  panel.SetVisible(false);

  ASSERT_EQ(g_seen.size(), 5u);
  EXPECT_EQ(g_seen[0].handler, "check");
  EXPECT_TRUE(g_seen[0].state);  // ticked before "execute" arrived
  EXPECT_EQ(g_seen[0].sender, panel.check);
  EXPECT_EQ(g_seen[0].doc, kDoc);
  EXPECT_FALSE(g_seen[1].state);
  EXPECT_EQ(g_seen[2].handler, "resize");
  EXPECT_TRUE(g_seen[2].state);  // minimized before "resize"
  EXPECT_EQ(g_seen[2].sender, panel.group);
  EXPECT_EQ(g_seen[3].handler, "hide");
  EXPECT_FALSE(g_seen[3].state);  // invisible before "hide"
  EXPECT_EQ(g_seen[3].sender, &panel);
  EXPECT_EQ(g_seen[4].handler, "hide");
  EXPECT_EQ(g_seen[4].doc, nullptr);
}

TEST_F(WidgetEvents, AHandlerHookSeesEachCallAndItsAnswerIsTheResult) {
  Panel panel(*main);
  panel.answer = true;
  std::vector<std::string> hooked;
  Host().options.callHandler = [&](const vhost::WidgetEventRegistration& handler, MQDocument doc,
                                   void** args) {
    hooked.push_back(handler.type);
    return handler.proc(doc, args, handler.pointer) + 10;
  };
  EXPECT_EQ(Host().ClickCheckBox(panel.check->GetID(), kDoc), std::vector<int32_t>{11});
  // An event the plug-in's own property change raises goes through it too.
  panel.SetVisible(true);
  panel.SetVisible(false);
  EXPECT_EQ(hooked, (std::vector<std::string>{"execute", "hide"}));
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_TRUE(g_seen[0].state);
  Host().options.callHandler = nullptr;
  EXPECT_EQ(Host().ClickCheckBox(panel.check->GetID(), kDoc), std::vector<int32_t>{1});
  EXPECT_EQ(hooked.size(), 2u);
}

TEST_F(WidgetEvents, RegistrationHandsTheHostProcAndBindingPointer) {
  Panel panel(*main);
  const auto& handlers = panel.check->GetHandlers();
  ASSERT_EQ(handlers.size(), 1u);
  const vhost::Widget* check = Host().Find(panel.check->GetID());
  ASSERT_EQ(check->events.size(), 1u);
  EXPECT_EQ(check->events[0].type, "execute");
  EXPECT_EQ(check->events[0].proc, &WidgetEventProc);
  EXPECT_EQ(check->events[0].pointer, handlers[0].get());
  EXPECT_FALSE(check->events[0].prior);
  const vhost::WidgetCall add = Host().TraceOf(WidgetOpCode::AddEvent).at(0);
  ASSERT_EQ(add.args.size(), 4u);
  EXPECT_EQ(add.args[0].name + add.args[1].name + add.args[2].name + add.args[3].name,
            "typeprocpointerprior");

  // A prior registration is passed on as such (and this host calls it first).
  std::vector<std::string> order;
  panel.check->AddEventHandler("execute", std::make_shared<Probe>([&](auto...) {
                                 order.push_back("prior");
                                 return true;
                               }),
                               true);
  EXPECT_TRUE(Host().Find(panel.check->GetID())->events[1].prior);
  EXPECT_EQ(Host().ClickCheckBox(panel.check->GetID()), (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(order, std::vector<std::string>{"prior"});
}

TEST_F(WidgetEvents, UnmatchedCallbacksAnswerZeroAndRunNothing) {
  Panel panel(*main);
  void* binding = panel.check->GetHandlers()[0].get();
  const int32_t check = panel.check->GetID();

  EXPECT_EQ(Callback(check, nullptr, binding), 0);                   // no "type"
  EXPECT_EQ(WidgetEventProc(kDoc, nullptr, binding), 0);             // no list at all
  EXPECT_EQ(Callback(9999, "execute", binding), 0);                  // unknown target
  EXPECT_EQ(Callback(0, "execute", binding), 0);                     // no target
  EXPECT_EQ(Callback(panel.group->GetID(), "execute", binding), 0);  // held by another widget
  EXPECT_EQ(Callback(check, "execute", &g_stranger), 0);
  EXPECT_EQ(Callback(check, "execute", nullptr), 0);
  EXPECT_TRUE(g_seen.empty());

  // An unknown sender is no reason to drop the event: the handler gets null.
  panel.answer = true;
  EXPECT_EQ(Callback(check, "execute", binding, 4242), 1);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].sender, nullptr);
}

TEST_F(WidgetEvents, MouseRecordsCarryEveryFieldAndTheButtonBits) {
  MQCheckBox box;
  WidgetMouseState got{};
  bool hadRecord = false;
  auto probe = std::make_shared<Probe>([&](MQWidgetBase*, MQDocument, void* record) {
    hadRecord = record != nullptr;
    if (hadRecord) got = *static_cast<WidgetMouseState*>(record);
    return true;
  });
  box.AddEventHandler("mousemove", probe, false);

  vhost::MouseInput input;
  input = {1, 2, 3, 4, 5, 6, 7, 8, -120, 0x3F};
  EXPECT_EQ(Host().Mouse(box.GetID(), "mousemove", input), std::vector<int32_t>{1});
  EXPECT_EQ(got.client_x, 1);
  EXPECT_EQ(got.client_y, 2);
  EXPECT_EQ(got.screen_x, 3);
  EXPECT_EQ(got.screen_y, 4);
  EXPECT_EQ(got.down_x, 5);
  EXPECT_EQ(got.down_y, 6);
  EXPECT_EQ(got.last_x, 7);
  EXPECT_EQ(got.last_y, 8);
  EXPECT_EQ(got.wheel_delta, -120);
  EXPECT_TRUE(got.left_button && got.middle_button && got.right_button && got.shift_key &&
              got.ctrl_key && got.bit5_flag);

  struct Bits {
    int32_t state;
    bool left, middle, right, shift, ctrl, bit5;
  };
  for (const Bits& b : {Bits{0x10, false, true, false, false, false, false},
                        Bits{0x12, false, true, true, false, false, false},
                        Bits{0x05, true, false, false, true, false, false},
                        Bits{0x28, false, false, false, false, true, true},
                        Bits{0x40, false, false, false, false, false, false},
                        Bits{-1 & ~0x3F, false, false, false, false, false, false}}) {
    input.buttonState = b.state;
    Host().Mouse(box.GetID(), "mousemove", input);
    EXPECT_EQ(got.left_button, b.left) << b.state;
    EXPECT_EQ(got.middle_button, b.middle) << b.state;
    EXPECT_EQ(got.right_button, b.right) << b.state;
    EXPECT_EQ(got.shift_key, b.shift) << b.state;
    EXPECT_EQ(got.ctrl_key, b.ctrl) << b.state;
    EXPECT_EQ(got.bit5_flag, b.bit5) << b.state;
  }

  // Every mouse event name builds the record; what the host leaves out reads 0.
  for (const char* name :
       {"leftdown", "leftup", "leftdoubleclick", "middledown", "middleup", "middledoubleclick",
        "rightdown", "rightup", "rightdoubleclick", "mousemove", "mousewheel"}) {
    got = WidgetMouseState{9, 9, 9, 9, 9, 9, 9, 9, 9, true, true, true, true, true, true};
    vhost::NamedArgs args;
    args.Int("target_id", box.GetID()).Text("type", name).Int("client_x", 77);
    EXPECT_EQ(WidgetEventProc(kDoc, args.data(), probe.get()), 1) << name;
    EXPECT_TRUE(hadRecord) << name;
    EXPECT_EQ(got.client_x, 77) << name;
    EXPECT_EQ(got.client_y + got.screen_x + got.wheel_delta, 0) << name;
    EXPECT_FALSE(got.left_button || got.middle_button || got.bit5_flag) << name;
  }
}

TEST_F(WidgetEvents, KeyRecordsAndEventsWithoutARecord) {
  MQCheckBox box;
  std::vector<WidgetKeyState> keys;
  std::vector<std::string> withoutRecord;
  std::string current;
  auto probe = std::make_shared<Probe>([&](MQWidgetBase*, MQDocument, void* record) {
    if (record == nullptr) {
      withoutRecord.push_back(current);
    } else {
      keys.push_back(*static_cast<WidgetKeyState*>(record));
    }
    return false;
  });
  box.AddEventHandler("keydown", probe, false);
  box.AddEventHandler("keyup", probe, false);

  EXPECT_EQ(Host().Key(box.GetID(), "keydown", {65, 2, 0x0C}), (std::vector<int32_t>{0}));
  EXPECT_EQ(Host().Key(box.GetID(), "keyup", {66, 0, 0x01}), (std::vector<int32_t>{0}));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].key, 65);
  EXPECT_TRUE(keys[0].auto_repeat);
  EXPECT_TRUE(keys[0].shift_key && keys[0].ctrl_key);
  EXPECT_FALSE(keys[0].left_button || keys[0].middle_button || keys[0].right_button);
  EXPECT_EQ(keys[1].key, 66);
  EXPECT_FALSE(keys[1].auto_repeat);
  EXPECT_TRUE(keys[1].left_button);

  // Names outside the lists, including near misses, get no record.
  for (const char* name : {"execute", "resize", "hide", "LeftDown", "keypress", "paint2", ""}) {
    current = name;
    Callback(box.GetID(), name, probe.get());
  }
  EXPECT_EQ(withoutRecord, (std::vector<std::string>{"execute", "resize", "hide", "LeftDown",
                                                     "keypress", "paint2", ""}));
}

TEST_F(WidgetEvents, PaintCanvasLivesOnlyDuringTheHandler) {
  MQCheckBox box;
  void* const handle = &g_canvas;
  MQCanvasHandle seenHandle = nullptr;
  int liveDuring = -1;
  bool fail = false;
  box.AddEventHandler("paint", std::make_shared<Probe>([&](MQWidgetBase*, MQDocument, void* r) {
                        const auto* paint = static_cast<WidgetPaintState*>(r);
                        seenHandle = paint->canvas->GetHandle();
                        liveDuring = MQCanvas::LiveCount();
                        if (fail) throw std::runtime_error("paint failed");
                        return true;
                      }),
                      false);

  EXPECT_EQ(MQCanvas::LiveCount(), 0);
  EXPECT_EQ(Host().Paint(box.GetID(), handle), std::vector<int32_t>{1});
  EXPECT_EQ(seenHandle, handle);  // passed on as it came, not followed
  EXPECT_EQ(liveDuring, 1);
  EXPECT_EQ(MQCanvas::LiveCount(), 0);

  fail = true;
  EXPECT_EQ(Host().Paint(box.GetID(), handle), std::vector<int32_t>{0});
  EXPECT_EQ(MQCanvas::LiveCount(), 0);
}

TEST_F(WidgetEvents, FailingHandlersAnswerZeroToTheHost) {
  MQCheckBox box;
  int thrown = 0;
  box.AddEventHandler("execute", std::make_shared<Probe>([&](auto...) -> bool {
                        ++thrown;
                        if (thrown == 1) throw std::runtime_error("handler failed");
                        if (thrown == 2) throw std::bad_alloc();
                        throw 42;
                      }),
                      false);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Host().ClickCheckBox(box.GetID()), std::vector<int32_t>{0});
  }
  EXPECT_EQ(thrown, 3);
}

TEST_F(WidgetEvents, BindingWhoseOwnerIsGoneAnswersZeroWithoutCallingIt) {
  MQCheckBox box;
  auto* owner = new Panel(*main);
  box.AddExecuteEvent(owner, &Panel::OnOther);
  EXPECT_EQ(Host().ClickCheckBox(box.GetID()), std::vector<int32_t>{1});
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].sender, &box);

  delete owner;
  EXPECT_EQ(Host().ClickCheckBox(box.GetID()), std::vector<int32_t>{0});
  EXPECT_EQ(g_seen.size(), 1u);
  ASSERT_EQ(box.GetHandlers().size(), 1u);  // stays in place, inert
  EXPECT_FALSE(box.GetHandlers()[0]->Invoke(&box, kDoc, nullptr));
}

TEST_F(WidgetEvents, OwnerWithoutIdOrWhoseIdWasTakenOverNeverRuns) {
  MQCheckBox box;
  Host().faults().createYieldsZero = true;
  Panel nobody(*main);
  Host().faults().createYieldsZero = false;
  ASSERT_EQ(nobody.GetID(), 0);
  box.AddExecuteEvent(&nobody, &Panel::OnOther);
  EXPECT_EQ(Host().ClickCheckBox(box.GetID()), std::vector<int32_t>{0});

  // A binding on the ID-less widget itself is sent with ID 0 and still kept.
  const std::size_t kept = nobody.GetHandlers().size();
  nobody.AddHideEvent(&nobody, &Panel::OnOther);
  EXPECT_EQ(Last().operation, WidgetOpCode::AddEvent);
  EXPECT_EQ(Last().widget, 0);
  EXPECT_EQ(nobody.GetHandlers().size(), kept + 1);

  // The owner's ID now names another wrapper: the binding must not call into
  // the destroyed owner through it.
  auto* owner = new Panel(*main);
  const int32_t ownerId = owner->GetID();
  box.AddExecuteEvent(owner, &Panel::OnOther);
  delete owner;
  MQWindowBase stranger(ownerId);
  ASSERT_EQ(FindWidget(ownerId), &stranger);
  EXPECT_EQ(Host().ClickCheckBox(box.GetID()), (std::vector<int32_t>{0, 0}));
  EXPECT_TRUE(g_seen.empty());
}

TEST_F(WidgetEvents, EachBindingIsItsOwnRegistrationAndHandle) {
  Panel panel(*main);
  MQCheckBox box;
  box.AddExecuteEvent(&panel, &Panel::OnOther);
  box.AddExecuteEvent(&panel, &Panel::OnOther);
  box.AddExecuteEvent(&panel, &Panel::OnCheck);
  const auto& handlers = box.GetHandlers();
  ASSERT_EQ(handlers.size(), 3u);
  EXPECT_EQ(Host().Find(box.GetID())->events.size(), 3u);
  EXPECT_NE(handlers[0].get(), handlers[1].get());
  EXPECT_TRUE(handlers[0]->IsEqual(*handlers[1]));
  EXPECT_FALSE(handlers[0]->IsEqual(*handlers[2]));  // another method
  Probe probe([](auto...) { return false; });
  EXPECT_FALSE(handlers[0]->IsEqual(probe));  // another kind of binding
  EXPECT_EQ(handlers[0]->GetOwner(), &panel);

  EXPECT_EQ(Host().ClickCheckBox(box.GetID()), (std::vector<int32_t>{1, 1, 0}));
  EXPECT_EQ(g_seen.size(), 3u);
}

TEST_F(WidgetEvents, HandlerMayDestroyTheWidgetItRunsFor) {
  auto box = std::make_unique<MQCheckBox>();
  const int32_t id = box->GetID();
  int calls = 0;
  auto destroy = [&](auto...) {
    ++calls;
    box.reset();  // frees the wrapper that holds this very binding
    return true;
  };
  box->AddEventHandler("execute", std::make_shared<Probe>(destroy), false);
  box->AddEventHandler("execute", std::make_shared<Probe>(destroy), false);
  EXPECT_EQ(Host().ClickCheckBox(id), std::vector<int32_t>{1});  // the second one never comes
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(Host().IsAlive(id));
}

}  // namespace
