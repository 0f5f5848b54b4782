// WidgetEventProc with any target, sender, event type and record fields, and
// with binding pointers that are the plug-in's own, another widget's, or
// foreign (harness memory or made-up addresses): the plug-in may follow only
// a binding it finds among the target's own. The window made by event 1 gives
// real targets; between callbacks the user works the window through the host,
// and the host may answer no read or create nothing.
#include <array>
#include <cstring>
#include <deque>

#include "fuzz/harness_support.h"

namespace {

constexpr std::array<const char*, 18> kTypes = {"execute",
                                                "resize",
                                                "hide",
                                                "paint",
                                                "leftdown",
                                                "leftup",
                                                "leftdoubleclick",
                                                "middledown",
                                                "middleup",
                                                "middledoubleclick",
                                                "rightdown",
                                                "rightup",
                                                "rightdoubleclick",
                                                "mousemove",
                                                "mousewheel",
                                                "keydown",
                                                "keyup",
                                                "show"};

constexpr std::array<const char*, 12> kRecordNames = {
    "client_x", "client_y", "screen_x",    "screen_y",     "down_x", "down_y",
    "last_x",   "last_y",   "wheel_delta", "button_state", "key",    "auto_repeat"};

// Everything the host knows about the plug-in's registrations right now.
struct Registration {
  int32_t widget;
  WidgetEventProcFn proc;
  void* pointer;
};

std::vector<Registration> Registrations() {
  std::vector<Registration> out;
  const vhost::WidgetTree& tree = vhost::State().widgets;
  for (int32_t id : tree.AliveIds()) {
    for (const vhost::WidgetEventRegistration& r : tree.Find(id)->events) {
      out.push_back({id, r.proc, r.pointer});
    }
  }
  return out;
}

int32_t PickWidget(FuzzedDataProvider& in) {
  const std::vector<int32_t> alive = vhost::State().widgets.AliveIds();
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
      return in.ConsumeIntegral<int32_t>();
    case 1:
      return 0;
    default:
      return alive[in.ConsumeIntegralInRange<std::size_t>(0, alive.size() - 1)];
  }
}

// One callback as the host would raise it, but with fuzzed fields.
void RaiseFuzzed(FuzzedDataProvider& in, WidgetEventProcFn proc, vhost::Document& doc,
                 std::array<unsigned char, 64>& foreign) {
  std::deque<std::array<char, 16>> ints;  // 32-bit values, zero padded
  std::deque<std::string> texts;
  std::vector<void*> list{nullptr};
  const auto add = [&list](void* name, void* value) {
    list.back() = name;
    list.push_back(value);
    list.push_back(nullptr);
  };
  const auto integer = [&ints](int32_t value) {
    ints.emplace_back();
    ints.back().fill(0);
    std::memcpy(ints.back().data(), &value, sizeof value);
    return static_cast<void*>(ints.back().data());
  };
  const auto text = [&texts](std::string value) {
    texts.push_back(std::move(value));
    return static_cast<void*>(texts.back().data());
  };

  const int32_t target = PickWidget(in);
  const std::vector<Registration> registrations = Registrations();
  if (in.ConsumeIntegralInRange<int>(0, 7) != 0) add(text("target_id"), integer(target));
  if (in.ConsumeIntegralInRange<int>(0, 7) != 0) add(text("sender_id"), integer(PickWidget(in)));
  if (in.ConsumeIntegralInRange<int>(0, 9) != 0) {
    const bool known = in.ConsumeIntegralInRange<int>(0, 4) != 0;
    add(text("type"),
        text(known ? kTypes[in.ConsumeIntegralInRange<std::size_t>(0, kTypes.size() - 1)]
                   : in.ConsumeRandomLengthString(12)));
  }
  const int fields = in.ConsumeIntegralInRange<int>(0, 6);
  for (int i = 0; i < fields; ++i) {
    const char* name =
        kRecordNames[in.ConsumeIntegralInRange<std::size_t>(0, kRecordNames.size() - 1)];
    add(text(name), in.ConsumeIntegralInRange<int>(0, 7) == 0
                        ? nullptr
                        : integer(in.ConsumeIntegral<int32_t>()));
  }
  if (in.ConsumeBool()) add(text("canvas"), nullptr);

  // The binding pointer: the target's own, any registered one, harness memory
  // filled with fuzz bytes, or a made-up address that must never be followed.
  void* binding = nullptr;
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
    case 1: {
      std::vector<void*> own;
      for (const Registration& r : registrations) {
        if (r.widget == target) own.push_back(r.pointer);
      }
      if (!own.empty()) binding = own[in.ConsumeIntegralInRange<std::size_t>(0, own.size() - 1)];
      break;
    }
    case 2:
      if (!registrations.empty()) {
        binding = registrations[in.ConsumeIntegralInRange<std::size_t>(0, registrations.size() - 1)]
                      .pointer;
      }
      break;
    case 3: {
      const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(foreign.size());
      if (!bytes.empty()) std::memcpy(foreign.data(), bytes.data(), bytes.size());
      binding = foreign.data() + in.ConsumeIntegralInRange<std::size_t>(0, 8);
      break;
    }
    default:
      binding = reinterpret_cast<void*>(in.ConsumeIntegral<uintptr_t>());
      break;
  }
  MQDocument document = in.ConsumeIntegralInRange<int>(0, 5) == 0 ? nullptr : &doc;
  proc(document, in.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : list.data(), binding);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  vhost::VeltraneSession& session = fuzzing::Session();
  vhost::HostState& host = vhost::State();
  vhost::Document& doc = fuzzing::OpenDocument(in);
  host.faults.silentReads = in.ConsumeIntegralInRange<int>(0, 9) == 0;
  host.faults.createYieldsZero = in.ConsumeIntegralInRange<int>(0, 19) == 0;
  host.widgets.options.document = &doc;

  session.Start();
  session.Activate(&doc, true);
  // The proc the plug-in registers; with no window (no widget made) there is
  // nothing to call back.
  WidgetEventProcFn proc = nullptr;
  for (const Registration& r : Registrations()) proc = r.proc;
  std::array<unsigned char, 64> foreign{};

  while (in.remaining_bytes() > 0) {
    vhost::WidgetTree& tree = host.widgets;
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0:
        tree.ClickCheckBox(PickWidget(in), &doc);
        break;
      case 1:
        tree.ToggleMinimized(PickWidget(in), &doc);
        break;
      case 2:
        tree.CloseWindow(PickWidget(in), &doc);
        break;
      case 3:
        session.Activate(&doc, in.ConsumeBool());
        break;
      case 4:
        session.DocumentEvent(doc, 210);
        break;
      default:
        if (proc != nullptr) RaiseFuzzed(in, proc, doc, foreign);
        break;
    }
  }
  fuzzing::ExitAndCheck(session);
  return 0;
}
