// The stand-in host's widget tree: what MQWidget_Value operates on, and the user
// that drivers and tests play against the plug-in's widgets.
//
// The host hands out the widget IDs (1, 2, 3, … in creation order; an ID is
// never handed out twice until Reset), keeps each widget's kind, properties,
// links and event registrations, and records every call it receives. The tree
// calls the plug-in's widget callback from inside its own operations (a user
// action, or a property change that a toolkit would report) and the plug-in may
// call MQWidget_Value again during that callback: nothing here keeps a reference
// into the tree across such a call.
//
// Threading: one thread, the host's, as in a real host.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "host/core/export.h"
#include "host/core/faults.h"
#include "protocol/mq_types.h"

namespace vhost {

// MQWidget_Value operation codes, as the host names them.
using WidgetOpCode = ::WidgetOp;

// "GetSystem", "Create", …; "0x…" for a code the protocol does not know.
VHOST_API std::string WidgetOpName(WidgetOpCode operation);

// UTF-16 (as widgets carry it) to UTF-8; unpaired surrogates become U+FFFD.
VHOST_API std::string Utf8(const std::u16string& text);

// A stored property: bool, 32-bit integer, 8-bit text or wide (UTF-16) text.
using WidgetValue = std::variant<bool, int32_t, std::string, std::u16string>;

// One AddEvent. The proc and pointer stay the plug-in's; the host only calls them.
struct WidgetEventRegistration {
  std::string type;
  WidgetEventProcFn proc = nullptr;
  void* pointer = nullptr;
  bool prior = false;
};

// Kinds: "mainwindow" (the host's own), "window", "frame", "groupbox", "checkbox",
// "label", "edit".
struct Widget {
  int32_t id = 0;
  std::string kind;
  int32_t parent = 0;                 // container (AddChild) or parent window; 0: none
  std::vector<int32_t> children;      // AddChild, in order
  std::vector<int32_t> childWindows;  // AddChildWindow, in order
  std::map<std::string, WidgetValue> properties;
  std::vector<WidgetEventRegistration> events;  // in registration order
};

// One named argument of a traced call, decoded by its name: 8-bit text as it
// is, wide text as UTF-8, bools "true"/"false", integers in decimal, a SizeRecord
// "{w, h, r1, r2}", pointers in hex, a null value pointer "null". Out-slots show
// what the plug-in preset them to.
struct WidgetCallArg {
  std::string name;
  std::string value;
};

// One MQWidget_Value call as the host received it.
struct VHOST_API WidgetCall {
  int32_t widget = 0;
  WidgetOpCode operation{};
  std::vector<WidgetCallArg> args;
  bool accepted = false;  // the host acted on it (a known widget, kind, key, …)
  std::string answer;     // what the host wrote back, decoded; empty when nothing

  // The value of the first argument named `name`, or null.
  const std::string* Arg(const std::string& name) const;
  // "SetValue #4 text=Update" style, for failure messages.
  std::string ToString() const;
};

// What the host passes with a mouse event (all of it, as a toolkit does).
struct MouseInput {
  int32_t clientX = 0;
  int32_t clientY = 0;
  int32_t screenX = 0;
  int32_t screenY = 0;
  int32_t downX = 0;
  int32_t downY = 0;
  int32_t lastX = 0;
  int32_t lastY = 0;
  int32_t wheelDelta = 0;
  int32_t buttonState = 0;  // Windows MK_* bits
};

struct KeyInput {
  int32_t key = 0;
  int32_t autoRepeat = 0;
  int32_t buttonState = 0;
};

class VHOST_API WidgetTree {
 public:
  // How the tree behaves toward drivers and tests (its faults are on the
  // switchboard). Reset restores them.
  struct Options {
    // true: a plug-in's own property change raises what the toolkit would
    // report: "hide" when a shown window's "visible" turns false, "resize"
    // when a group box's "minimized" changes.
    bool raiseOnStateChange = true;
    // Record every call in the trace; long runs (benchmarks) turn it off.
    bool keepTrace = true;
    // The document passed with the events the host raises by itself.
    MQDocument document = nullptr;
    // Runs as the very last step of a successful Create, after the ID was
    // written back (lets a test arm a failure inside the plug-in's constructor).
    std::function<void(int32_t id, const std::string& kind)> afterCreate;
    // When set, every handler call of a raised event goes through it instead of
    // calling the proc directly; it must call `handler.proc(doc, args,
    // handler.pointer)` itself and answer its result. The registration and the
    // list stay the tree's, valid during the call. Lets a harness wrap the
    // plug-in's own work (count its allocations, catch what escapes it) and
    // nothing of the tree's bookkeeping around it.
    std::function<int32_t(const WidgetEventRegistration& handler, MQDocument doc, void** args)>
        callHandler;
  };
  Options options;

  using Results = std::vector<int32_t>;  // each called proc's answer, in call order

  // Takes faults from and records misbehaviour (every call it does not act on)
  // in `wiring`'s switchboard and log.
  explicit WidgetTree(FaultWiring wiring = {});

  FaultSwitchboard& faults() const { return wiring_.faults(); }
  FaultLog& faultLog() const { return wiring_.log(); }

  // One MQWidget_Value call: widget ID, operation code and the named-argument
  // list the plug-in built (valid during the call; nothing of it is kept except
  // the "proc" and "pointer" values of AddEvent). Answers 1 when accepted.
  int32_t Value(int32_t widget_id, int32_t operation, void** args);

  // Back to a freshly started host: only the main window, no trace, default
  // options. A part made on its own resets its own switchboard and
  // log; the host's are the host's to reset.
  void Reset();

  // --- What the host holds --------------------------------------------------
  int32_t MainWindow() const { return mainWindow_; }
  bool IsAlive(int32_t id) const { return widgets_.count(id) != 0; }
  std::vector<int32_t> AliveIds() const;  // ascending
  const Widget* Find(int32_t id) const;   // null when not alive; invalid after the next call
  // A property, or the type's zero when the widget or property does not exist.
  bool Bool(int32_t id, const std::string& key) const;
  int32_t Int(int32_t id, const std::string& key) const;
  std::string Text(int32_t id, const std::string& key) const;  // wide text as UTF-8
  std::u16string WideText(int32_t id, const std::string& key) const;
  // What "justsize" answers: the natural size of the widget from its visible children.
  SizeRecord JustSize(int32_t id) const;
  // Changes a property as the toolkit itself would (the user dragged the window…);
  // raises nothing. Ignored for a widget that is not alive.
  void Put(int32_t id, const std::string& key, WidgetValue value);

  // --- Trace ------------------------------------------------------------------
  const std::vector<WidgetCall>& Trace() const { return trace_; }
  std::vector<WidgetCall> TraceOf(WidgetOpCode operation) const;
  void ClearTrace() { trace_.clear(); }

  // --- Playing the user -------------------------------------------------------
  // Each action changes the widget first, as a toolkit does, then raises its
  // event to the widget's registrations of that type ("prior" ones first) with
  // "target_id" and "sender_id" the widget and "type" the event name. Nothing
  // happens (empty result) when the widget is not alive or not of a fitting kind.
  Results ClickCheckBox(int32_t id, MQDocument doc = nullptr);    // flips "checked"; "execute"
  Results ToggleMinimized(int32_t id, MQDocument doc = nullptr);  // needs "canminimize"; "resize"
  Results CloseWindow(int32_t id, MQDocument doc = nullptr);  // a shown window; hides it; "hide"
  Results Resize(int32_t id, MQDocument doc = nullptr);       // "resize"
  // `type`: "leftdown", "mousemove", … with "client_x" … "wheel_delta", "button_state".
  Results Mouse(int32_t id, const std::string& type, const MouseInput& input,
                MQDocument doc = nullptr);
  // `type`: "keydown" or "keyup" with "key", "auto_repeat", "button_state".
  Results Key(int32_t id, const std::string& type, const KeyInput& input, MQDocument doc = nullptr);
  // "paint" with "canvas" (passed as the value pointer itself).
  Results Paint(int32_t id, MQCanvasHandle canvas, MQDocument doc = nullptr);
  // Any event to `target`'s registrations of `type`, from `sender`, with extra
  // 32-bit integer arguments; no state change.
  Results Raise(int32_t target, int32_t sender, const std::string& type, MQDocument doc,
                const std::vector<std::pair<std::string, int32_t>>& ints = {},
                MQCanvasHandle canvas = nullptr);

 private:
  struct Pending {  // an event a property change raises once the call is done
    int32_t target = 0;
    std::string type;
  };

  int32_t Create(void** args, WidgetCall& call);  // the new ID, or 0
  void Remove(int32_t id, WidgetCall& call);
  void Link(int32_t container, void** args, bool window, WidgetCall& call);
  void GetValue(int32_t id, void** args, WidgetCall& call);
  void SetValue(int32_t id, void** args, WidgetCall& call, Pending& pending);
  void AddEvent(int32_t id, void** args, WidgetCall& call);
  Widget* Lookup(int32_t id);
  SizeRecord NaturalSize(const Widget& widget) const;

  FaultWiring wiring_;
  std::map<int32_t, Widget> widgets_;
  std::vector<WidgetCall> trace_;
  int32_t mainWindow_ = 0;
  int32_t nextId_ = 1;
};

}  // namespace vhost
