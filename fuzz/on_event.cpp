// MQOnEvent with any event code and any named-argument list: known and unknown
// names, duplicates, null lists and null values. Between events the user ticks
// the window's check boxes (so that counting really runs) and the document
// changes. The plug-in must answer every event without a crash, a sanitizer
// report or a leak, and leave the host clean once it has exited.
#include <array>
#include <cstring>
#include <deque>

#include "fuzz/harness_support.h"

namespace {

constexpr std::array<int32_t, 33> kKnownEvents = {
    1,   2,   100, 101, 102, 103, 110, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129,
    130, 140, 141, 200, 201, 202, 210, 211, 212, 220, 221, 222, 230, 231, 240, 0};

// Names the protocol gives integer values (read, or written back as out-slots).
constexpr std::array<const char*, 16> kIntNames = {
    "state",  "size",      "width",        "height",      "src_product", "src_id",
    "result", "save_uid",  "button_state", "mouse_pos_x", "mouse_pos_y", "mouse_wheel",
    "key",    "target_id", "sender_id",    "auto_repeat"};
// Names the protocol gives texts.
constexpr std::array<const char*, 3> kTextNames = {"filename", "description", "message"};
// Names the protocol gives host handles: a host passes a live handle or null;
// the harness has none of these kinds to give, so it passes null.
constexpr std::array<const char*, 3> kHandleNames = {"scene", "xml_elem", "canvas"};

using vhost::veltrane::kCheckBoxes;

// A named-argument list and everything it points at, alive until the event returns.
class ArgList {
 public:
  // Integer storage is 16 zeroed bytes: a real int32, and also a terminated
  // text should a plug-in read it as one.
  void* IntStorage(int32_t value) {
    ints_.emplace_back();
    ints_.back().fill(0);
    std::memcpy(ints_.back().data(), &value, sizeof value);
    return ints_.back().data();
  }
  void* Text(std::string text) {
    texts_.push_back(std::move(text));
    return texts_.back().data();
  }
  void Add(void* name, void* value) {
    list_.back() = name;
    list_.push_back(value);
    list_.push_back(nullptr);
  }
  void** data() { return list_.data(); }

 private:
  std::deque<std::array<char, 16>> ints_;
  std::deque<std::string> texts_;
  std::vector<void*> list_{nullptr};
};

void BuildArgs(FuzzedDataProvider& in, ArgList& args) {
  const int entries = in.ConsumeIntegralInRange<int>(0, 8);
  for (int i = 0; i < entries; ++i) {
    const bool nullValue = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: {
        const char* name =
            kIntNames[in.ConsumeIntegralInRange<std::size_t>(0, kIntNames.size() - 1)];
        args.Add(args.Text(name),
                 nullValue ? nullptr : args.IntStorage(in.ConsumeIntegral<int32_t>()));
        break;
      }
      case 1: {
        const char* name =
            kTextNames[in.ConsumeIntegralInRange<std::size_t>(0, kTextNames.size() - 1)];
        args.Add(args.Text(name),
                 nullValue ? nullptr : args.Text(in.ConsumeRandomLengthString(64)));
        break;
      }
      case 2: {
        const char* name =
            kHandleNames[in.ConsumeIntegralInRange<std::size_t>(0, kHandleNames.size() - 1)];
        args.Add(args.Text(name), nullptr);
        break;
      }
      default:  // a name the protocol does not know, with an integer behind it
        args.Add(args.Text(in.ConsumeRandomLengthString(16)),
                 nullValue ? nullptr : args.IntStorage(in.ConsumeIntegral<int32_t>()));
        break;
    }
  }
}

int32_t EventCode(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange<int>(0, 4) == 0) return in.ConsumeIntegral<int32_t>();
  return kKnownEvents[in.ConsumeIntegralInRange<std::size_t>(0, kKnownEvents.size() - 1)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  vhost::VeltraneSession& session = fuzzing::Session();
  vhost::HostState& host = vhost::State();
  vhost::Document& doc = fuzzing::OpenDocument(in);
  host.faults.failClones = in.ConsumeIntegralInRange<int>(0, 7) == 0;

  session.Start();
  while (in.remaining_bytes() > 0) {
    MQDocument target = in.ConsumeIntegralInRange<int>(0, 5) == 0 ? nullptr : &doc;
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0: {  // the user ticks a check box (when the window is there to tick)
        const int32_t box = session.CheckBox(
            kCheckBoxes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCheckBoxes) - 1)]);
        if (box != 0) host.widgets.ClickCheckBox(box, target);
        break;
      }
      case 1: {  // the document changes under the plug-in
        const int32_t slot = in.ConsumeIntegralInRange<int32_t>(-1, doc.SlotCount());
        if (vhost::Object* o = doc.At(slot)) {
          o->visible = !o->visible;
          o->mirror.type = in.ConsumeIntegralInRange<int32_t>(0, 2);
        } else {
          doc.currentIndex = slot;
        }
        break;
      }
      default: {
        const int32_t code = EventCode(in);
        ArgList args;
        void* option = nullptr;
        if (code == 100 || code == 102) {
          // These take the address of a flag, or nothing.
          if (in.ConsumeIntegralInRange<int>(0, 5) != 0)
            option = args.IntStorage(in.ConsumeIntegral<int32_t>());
        } else if (in.ConsumeIntegralInRange<int>(0, 5) != 0) {
          BuildArgs(in, args);
          option = args.data();
        }
        session.plugin().Event(target, code, option);
        break;
      }
    }
  }
  fuzzing::ExitAndCheck(session);
  return 0;
}
