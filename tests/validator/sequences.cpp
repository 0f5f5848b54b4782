// Seeded random sequences: host events, the user working the window, document
// edits in the stand-in host and exit/start cycles, with the invariants checked
// after every step. Each case runs in its own child process.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <memory>
#include <vector>

#include "host/api/host_state.h"
#include "host/probe/veltrane_facts.h"
#include "host/probe/veltrane_session.h"
#include "reference.h"
#include "tests/support/stored_setting.h"
#include "validator.h"

namespace validator {
namespace {

// Host faults a case can run under. kNone, kNoSettings and kNoClones keep the
// window fully observable; kNoReads and kCreateZero leave the plug-in blind or
// without widgets, and only the safety invariants apply.
enum class Fault { kNone, kNoReads, kCreateZero, kNoSettings, kNoClones };
constexpr std::array<const char*, 5> kFaultNames = {"none", "no-reads", "create-zero",
                                                    "no-settings", "no-clones"};

Fault FaultNamed(const std::string& name) {
  for (std::size_t i = 0; i < kFaultNames.size(); ++i) {
    if (name == kFaultNames[i]) return static_cast<Fault>(i);
  }
  throw std::runtime_error("unknown fault " + name);
}

constexpr const auto& kBoxes = vhost::veltrane::kCheckBoxes;
constexpr const auto& kKeys = vhost::veltrane::kOptionKeys;
constexpr std::array<bool, 6> kDefaults = {false, false, true, false, true, true};
using vhost::veltrane::kActivateKey;
constexpr const auto& kRows = vhost::veltrane::kRows;

using Boxes = std::array<bool, 6>;

class RandomSequence {
 public:
  RandomSequence(uint64_t caseSeed, int steps, Fault fault, std::string settingsPath,
                 std::string program)
      : rng_(caseSeed),
        steps_(steps),
        fault_(fault),
        settingsFile_(std::move(settingsPath)),
        program_(std::move(program)) {}

  void Run(ChildReport& report) {
    vhost::HostState& host = vhost::State();
    host.Reset();
    if (!settingsFile_.empty()) {
      Require(host.settings.LoadFile(settingsFile_).ok(), "cannot read " + settingsFile_);
    }
    host.faults.silentReads = fault_ == Fault::kNoReads;
    host.faults.createYieldsZero = fault_ == Fault::kCreateZero;
    host.faults.noSettingsElement = fault_ == Fault::kNoSettings;
    host.faults.failClones = fault_ == Fault::kNoClones;
    session_ = std::make_unique<vhost::VeltraneSession>(PluginPath());
    doc_ = &host.documents.Open();
    host.widgets.options.document = doc_;
    for (int i = Rand(0, 5); i > 0; --i) RandomObject(doc_->AddObject("start"));
    doc_->currentIndex = Rand(-1, doc_->SlotCount());
    if (Chance(40)) SeedSettings();

    if (Chance(90)) Do("start", [this] { Start(); });
    if (started_ && Chance(70)) {  // most users show the window and count
      Do("event 100", [this] { Activate(true); });
      if (Observable() && !Box(0)) Do("tick", [this] { Tick(0); });
    }
    for (int i = 0; i < steps_; ++i) {
      Step();
      ++report.steps;
    }
    if (!settingsFile_.empty() && fault_ == Fault::kNone) RoundTrip();
    Do("final exit", [this] { Exit(); });
    session_.reset();  // unloads the plug-in
    host.Reset();
    report.faults = fault_ == Fault::kNone ? 0 : 1;
    report.countChecks = countChecks_;
  }

 private:
  // --- Randomness -------------------------------------------------------------
  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Rand(0, 99) < percent; }

  // --- What the host shows ------------------------------------------------------
  vhost::WidgetTree& Tree() { return vhost::State().widgets; }
  bool Observable() const {
    return fault_ == Fault::kNone || fault_ == Fault::kNoSettings || fault_ == Fault::kNoClones;
  }
  bool SettingsAvailable() const { return fault_ != Fault::kNoSettings; }
  bool Box(std::size_t i) { return Tree().Bool(session_->CheckBox(kBoxes[i]), "checked"); }
  Boxes AllBoxes() {
    Boxes b{};
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = Box(i);
    return b;
  }
  static std::string Show(const Boxes& b) {
    std::string out;
    for (std::size_t i = 0; i < b.size(); ++i)
      out += std::string(kBoxes[i]) + "=" + (b[i] ? "1 " : "0 ");
    return out;
  }
  int64_t Messages100() const {
    return std::count_if(vhost::State().messages.begin(), vhost::State().messages.end(),
                         [](const vhost::SentMessage& m) { return m.code == 100; });
  }

  // --- Steps ----------------------------------------------------------------------
  template <class F>
  void Do(const std::string& what, F&& action) {
    step_ = what;
    recounted_ = false;
    countDoc_ = doc_;
    action();
    CheckInvariants();
  }

  void Step() {
    const int r = Rand(0, 99);
    if (r < 3)
      return Do("event 1 (start)", [this] {
        Start();
        if (Observable() && Chance(50) && !Box(0)) Tick(0);
      });
    if (r < 6) return Do("event 2 (exit)", [this] { Exit(); });
    if (r < 8)
      return Do("exit and start", [this] {
        Exit();
        Start();
      });
    if (r < 13) return Do("event 100", [this] { Activate(Chance(70)); });
    if (r < 30) return Do("recounting event", [this] { RecountEvent(); });
    if (r < 34) return Do("other event", [this] { OtherEvent(); });
    if (r < 52) return Do("tick", [this] { Tick(static_cast<std::size_t>(Rand(0, 5))); });
    if (r < 57) return Do("minimise/restore group \"all\"", [this] { ToggleGroup(); });
    if (r < 59) return Do("close window", [this] { Close(); });
    if (r < 61) return Do("move window", [this] { Move(); });
    return Do("document edit", [this] { Edit(); });
  }

  void Start() {
    // What the plug-in must come up with: the stored options, or with no
    // settings element the ones it already holds.
    if (started_ && Observable()) {  // the plug-in's options are its boxes' now
      memory_ = AllBoxes();
      memoryActivated_ = activated_;
    }
    Boxes expect = memory_;
    bool activate = memoryActivated_;
    int64_t posX = -1;
    int64_t posY = -1;
    if (SettingsAvailable()) {
      for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        expect[i] = testing_support::ReadStoredSetting(session_->StoredSetting(kKeys[i]),
                                                       kDefaults[i]) != 0;
      }
      activate = testing_support::ReadStoredSetting(session_->StoredSetting(kActivateKey), 0) != 0;
      posX = testing_support::ReadStoredSetting(session_->StoredSetting(vhost::veltrane::kPosXKey),
                                                -1);
      posY = testing_support::ReadStoredSetting(session_->StoredSetting(vhost::veltrane::kPosYKey),
                                                -1);
    }
    const bool hadWindow = started_;
    Require(session_->Start() == 1, "event 1 did not answer 1");
    started_ = true;
    memory_ = expect;
    memoryActivated_ = activate;
    activated_ = activate;
    if (!Observable()) return;
    Require(session_->Window() != 0, "no window after event 1");
    const Boxes shown = AllBoxes();
    Require(shown == expect, "after event 1 the check boxes show " + Show(shown) +
                                 "but the options read are " + Show(expect) +
                                 (hadWindow ? "(a repeated event 1)" : "(a new window)"));
    if (!hadWindow && posX >= 0 && posY >= 0) {
      const int32_t w = session_->Window();
      Require(Tree().Int(w, "pos_x") == posX && Tree().Int(w, "pos_y") == posY,
              "the stored window position was not applied");
    }
  }

  void Exit() {
    const bool observable = Observable() && started_;
    Boxes shown = memory_;
    int32_t posX = 0;
    int32_t posY = 0;
    if (observable) {
      shown = AllBoxes();
      posX = Tree().Int(session_->Window(), "pos_x");
      posY = Tree().Int(session_->Window(), "pos_y");
    }
    const std::string oldPosX = session_->StoredSetting(vhost::veltrane::kPosXKey);
    const std::string oldPosY = session_->StoredSetting(vhost::veltrane::kPosYKey);
    Require(session_->Exit() == 1, "event 2 did not answer 1");
    const bool hadWindow = started_;
    started_ = false;
    const std::vector<int32_t> alive = Tree().AliveIds();
    Require(alive.size() == 1 && alive[0] == Tree().MainWindow(),
            Str(alive.size() - 1) + " widget(s) of the plug-in alive after event 2");
    if (Observable()) memory_ = shown;
    memoryActivated_ = activated_;
    if (!Observable() || !SettingsAvailable()) return;
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
      Require(session_->StoredSetting(kKeys[i]) == (shown[i] ? "1" : "0"),
              std::string("after event 2 the stored \"") + kKeys[i] + "\" is \"" +
                  session_->StoredSetting(kKeys[i]) + "\", the check box " +
                  (shown[i] ? "ticked" : "clear"));
    }
    Require(session_->StoredSetting(kActivateKey) == (activated_ ? "1" : "0"),
            "the stored activation differs from the plug-in's state");
    if (hadWindow) {
      Require(session_->StoredSetting(vhost::veltrane::kPosXKey) == Str(posX) &&
                  session_->StoredSetting(vhost::veltrane::kPosYKey) == Str(posY),
              "the stored position differs from the window's");
    } else {
      Require(session_->StoredSetting(vhost::veltrane::kPosXKey) == oldPosX &&
                  session_->StoredSetting(vhost::veltrane::kPosYKey) == oldPosY,
              "a position was stored without a window");
    }
  }

  void Activate(bool on) {
    MQDocument target = Chance(90) ? doc_ : nullptr;
    const BOOL answer = session_->plugin().FlagEvent(target, 100, on ? 1 : 0);
    if (!started_) {
      Require(answer == 0, "event 100 without a window answered nonzero");
      return;
    }
    activated_ = on;
    if (Observable()) Require(answer == (on ? 1 : 0), "event 100 answered the wrong state");
  }

  void RecountEvent() {
    static constexpr std::array<int32_t, 6> kCodes = {101, 200, 210, 211, 220, 221};
    const int32_t code = kCodes[static_cast<std::size_t>(Rand(0, 5))];
    MQDocument target = Chance(95) ? doc_ : nullptr;
    vhost::NamedArgs args;
    if (code == 200) {
      args.Text("filename", "validator.mqo").Value("xml_elem", nullptr);
    } else {
      args.Int("state", Rand(0, 3));
    }
    const BOOL answer = session_->plugin().Event(target, code, args);
    if (code == 101 && Observable()) {
      Require(answer == (started_ && activated_ ? 1 : 0), "event 101 answered the wrong state");
    }
    if (code == 210 || code == 211) Require(answer == 0, "events 210 and 211 answer 0");
    recounted_ = true;
    countDoc_ = static_cast<vhost::Document*>(target);
  }

  void OtherEvent() {
    static constexpr std::array<int32_t, 13> kCodes = {102, 103, 110, 120, 140, 201, 202,
                                                       212, 222, 230, 231, 240, 7777};
    const int32_t code = kCodes[static_cast<std::size_t>(Rand(0, 12))];
    vhost::NamedArgs args;
    args.Int("state", 1).Int("size", 2).Slot("result", -1).Slot("save_uid", 0);
    if (code == 102) {
      session_->plugin().FlagEvent(doc_, code, 1);
    } else {
      const BOOL answer = session_->plugin().Event(doc_, code, args);
      if (code == 7777 || code == 120 || code == 140) {
        Require(answer == 0, "an event the plug-in does not take answered nonzero");
      }
    }
  }

  void Tick(std::size_t box) {
    const int32_t id = session_->CheckBox(kBoxes[box]);
    if (id == 0) return;
    Tree().ClickCheckBox(id, doc_);
    recounted_ = box != 5;  // "Polygon" only shows or hides rows
  }

  void ToggleGroup() {
    const int32_t id = session_->GroupBox("all");
    if (id == 0) return;
    Tree().ToggleMinimized(id, doc_);
    recounted_ = true;
  }

  void Close() {
    const int32_t w = session_->Window();
    if (w == 0 || !Tree().Bool(w, "visible")) return;
    Tree().CloseWindow(w, doc_);
    if (activated_) ++closeMessages_;
    activated_ = false;
  }

  void Move() {
    const int32_t w = session_->Window();
    if (w == 0) return;
    Tree().Put(w, "pos_x", static_cast<int32_t>(Rand(-40, 3000)));
    Tree().Put(w, "pos_y", static_cast<int32_t>(Rand(-40, 2000)));
  }

  // --- The document -------------------------------------------------------------
  void RandomObject(vhost::Object& o) {
    const int shape = Rand(0, 5);
    const int points = shape == 0 ? 8 : Rand(1, 9);
    for (int i = 0; i < points; ++i) {
      o.AddVertex({Rand(-3, 3) * 0.5, Rand(-3, 3) * 0.5, Rand(-3, 3) * 0.5});
    }
    const int faces = Rand(0, 6);
    for (int f = 0; f < faces; ++f) AddRandomFace(o, shape == 1 ? 2 : Rand(1, 6));
    o.visible = Chance(80);
    if (Chance(20)) o.mirror = {Rand(1, 2), Rand(1, 7), Chance(50) ? 0.0 : 0.01};
    if (Chance(15)) o.lathe = {1, Rand(0, 2), Rand(3, 8)};
    if (Chance(10)) o.patch = {1, Rand(1, 2)};
  }

  void AddRandomFace(vhost::Object& o, int size) {
    std::vector<int32_t> all(static_cast<std::size_t>(o.VertexCount()));
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
    std::shuffle(all.begin(), all.end(), rng_);
    all.resize(std::min<std::size_t>(all.size(), static_cast<std::size_t>(size)));
    if (!all.empty()) o.AddFace(all);
  }

  vhost::Object* RandomLiveObject() {
    const int slots = doc_->SlotCount();
    return slots > 0 ? doc_->At(Rand(0, slots - 1)) : nullptr;
  }

  void Edit() {
    vhost::Object* o = RandomLiveObject();
    switch (Rand(0, 11)) {
      case 0:
        if (doc_->SlotCount() < 10) RandomObject(doc_->AddObject("added"));
        break;
      case 1:
        if (doc_->SlotCount() > 0) doc_->RemoveObject(Rand(0, doc_->SlotCount() - 1));
        break;
      case 2:
        if (o != nullptr) AddRandomFace(*o, Rand(1, 7));
        break;
      case 3:
        if (o != nullptr && o->FaceCount() > 0) o->DeleteFace(Rand(0, o->FaceCount() - 1));
        break;
      case 4:
        if (o != nullptr) o->AddVertex({Rand(-3, 3) * 0.5, Rand(-3, 3) * 0.5, 0});
        break;
      case 5:
        if (o != nullptr && o->VertexCount() > 0) o->DeleteVertex(Rand(0, o->VertexCount() - 1));
        break;
      case 6:
        if (o != nullptr) o->visible = !o->visible;
        break;
      case 7:
        if (o != nullptr) o->mirror = {Rand(0, 2), Rand(1, 7), Chance(50) ? 0.0 : 0.01};
        break;
      case 8:
        if (o != nullptr) o->lathe = {Rand(0, 1), Rand(0, 2), Rand(3, 8)};
        break;
      case 9:
        if (o != nullptr) o->patch = {Rand(0, 1), Rand(1, 2)};
        break;
      default:
        doc_->currentIndex = Rand(-1, doc_->SlotCount());  // empty slots and bad indexes too
        break;
    }
  }

  // Options a user left in the host's settings from an earlier run, sometimes
  // in texts the store has to read generously.
  void SeedSettings() {
    static constexpr std::array<const char*, 8> kTexts = {"1", "0", "1", "0", "2", " -1", "x", ""};
    for (const char* key : kKeys) {
      if (Chance(70)) session_->StoreSetting(key, kTexts[static_cast<std::size_t>(Rand(0, 7))]);
    }
    if (Chance(50)) session_->StoreSetting(kActivateKey, Chance(50) ? "1" : "0");
    if (Chance(60)) session_->StoreSetting(vhost::veltrane::kPosXKey, Str(Rand(-5, 900)));
    if (Chance(60)) session_->StoreSetting(vhost::veltrane::kPosYKey, Str(Rand(-5, 700)));
  }

  // --- Invariants -----------------------------------------------------------------
  void CheckInvariants() {
    const std::string at = " (after step \"" + step_ + "\")";
    const vhost::HostState& host = vhost::State();
    Require(host.documents.LiveClones() == 0, "a frozen copy outlived its count" + at);
    Require(host.faultLog.Empty(), "the plug-in misbehaved: " + host.faultLog.Describe() + at);
    const std::vector<int32_t> alive = Tree().AliveIds();
    if (!started_ || fault_ == Fault::kCreateZero) {
      Require(alive.size() == 1, Str(alive.size() - 1) + " widget(s) of the plug-in alive" + at);
    }
    if (!Observable()) return;
    Require(Messages100() == closeMessages_, "message 100 sent " + Str(Messages100()) +
                                                 " times for " + Str(closeMessages_) + " closes" +
                                                 at);
    if (!started_) return;
    const int32_t w = session_->Window();
    Require(w != 0, "the window is gone" + at);
    Require(Tree().Bool(w, "visible") == activated_,
            std::string("the window is ") + (Tree().Bool(w, "visible") ? "shown" : "hidden") +
                " while the plug-in is " + (activated_ ? "active" : "inactive") + at);
    const bool all = Box(1);
    Require(Tree().Bool(session_->GroupBox("all"), "minimized") == !all,
            "the group \"all\" is minimised while \"All\" is " +
                std::string(all ? "ticked" : "clear") + at);
    if (recounted_ && activated_ && Box(0)) {
      CheckNumbers(at);
      ++countChecks_;
    }
  }

  void CheckNumbers(const std::string& at) {
    CountRules rules;
    rules.all = Box(1);
    rules.visible = Box(2);
    rules.freeze = Box(3);
    rules.triangle = Box(4);
    rules.clonesFail = fault_ == Fault::kNoClones;
    const Expected expected = ExpectedCounts(countDoc_, rules);
    const auto compare = [&](const char* group, const Counts& counts) {
      for (std::size_t row = 0; row < std::size(kRows); ++row) {
        const std::string shown = session_->Field(group, kRows[row]);
        Require(shown == Str(counts[row]), std::string("group \"") + group + "\" row " +
                                               kRows[row] + " shows \"" + shown +
                                               "\", the document has " + Str(counts[row]) + " (" +
                                               Show(AllBoxes()) + ")" + at);
      }
    };
    compare("current", expected.current);
    if (rules.all) compare("all", expected.all);
  }

  // --- Settings round trip through a fresh process ----------------------------------
  void RoundTrip() {
    if (!started_) Do("start for the round trip", [this] { Start(); });
    const int32_t w = session_->Window();
    const Boxes shown = AllBoxes();
    std::string expect;
    for (bool b : shown) expect += b ? '1' : '0';
    expect += activated_ ? '1' : '0';
    expect += " " + Str(Tree().Int(w, "pos_x")) + " " + Str(Tree().Int(w, "pos_y"));
    Do("exit before the round trip", [this] { Exit(); });
    Require(vhost::State().settings.SaveFile().ok(), "the host could not save its settings");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      execl(program_.c_str(), program_.c_str(), "--check-settings", settingsFile_.c_str(),
            expect.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Require(WIFEXITED(status) && WEXITSTATUS(status) == 0,
            "a fresh host process did not restore the options " + expect);
    Do("start after the round trip", [this] { Start(); });
  }

  std::mt19937_64 rng_;
  int steps_;
  Fault fault_;
  std::string settingsFile_;
  std::string program_;
  std::unique_ptr<vhost::VeltraneSession> session_;
  vhost::Document* doc_ = nullptr;

  // The model: what the plug-in must be doing.
  bool started_ = false;
  bool activated_ = false;
  Boxes memory_ = kDefaults;  // the options the plug-in holds in memory
  bool memoryActivated_ = false;
  int64_t closeMessages_ = 0;
  int64_t countChecks_ = 0;
  // The step being checked.
  std::string step_;
  bool recounted_ = false;
  vhost::Document* countDoc_ = nullptr;
};

void RunCases(const Options& options, Figures& figures, const std::string& suite,
              const std::function<Fault(std::mt19937_64&)>& faultFor) {
  for (int i = 0; i < options.cases; ++i) {
    const uint64_t caseSeed = options.seed + static_cast<uint64_t>(i);
    std::mt19937_64 choose(caseSeed ^ 0x9E3779B97F4A7C15ULL);
    const Fault fault = options.fault.empty() ? faultFor(choose) : FaultNamed(options.fault);
    // Every fourth case keeps its settings in a file and checks the round trip.
    std::string file;
    if (caseSeed % 4 == 0) {
      file = (std::getenv("TMPDIR") != nullptr ? std::string(std::getenv("TMPDIR")) : "/tmp") +
             "/veltrane-validator-" + Str(getpid()) + "-" + Str(caseSeed) + ".xml";
    }
    const std::string label = suite + " case seed " + Str(caseSeed) + " (fault " +
                              kFaultNames[static_cast<std::size_t>(fault)] + ")";
    ChildReport report;
    const ChildEnd end = RunChild(
        label, options.timeout,
        [&](ChildReport& r) {
          RandomSequence(caseSeed, options.steps, fault, file, options.program).Run(r);
        },
        report);
    if (!file.empty()) std::remove(file.c_str());
    ++figures.sequences;
    figures.steps += report.steps;
    figures.faults += report.faults;
    figures.countChecks += report.countChecks;
    Tally(end, label,
          "--only " + suite + " --seed " + Str(caseSeed) + " --cases 1 --steps " +
              Str(options.steps) + " --fault " + kFaultNames[static_cast<std::size_t>(fault)],
          figures);
  }
}

}  // namespace

void RunSequences(const Options& options, Figures& figures) {
  // Most cases run against a well-behaved host; the rest under one host fault.
  RunCases(options, figures, "sequences", [](std::mt19937_64& choose) {
    const int r = static_cast<int>(choose() % 100);
    return r < 72   ? Fault::kNone
           : r < 79 ? Fault::kNoReads
           : r < 86 ? Fault::kCreateZero
           : r < 93 ? Fault::kNoSettings
                    : Fault::kNoClones;
  });
}

void RunFaults(const Options& options, Figures& figures) {
  // Every host fault, a tenth of the sequence count each (at least 5).
  Options each = options;
  each.cases = std::max(5, options.cases / 10);
  for (Fault fault : {Fault::kNoReads, Fault::kCreateZero, Fault::kNoSettings, Fault::kNoClones}) {
    each.seed = options.seed + 1000003ULL * static_cast<uint64_t>(fault);
    RunCases(each, figures, "faults", [fault](std::mt19937_64&) { return fault; });
  }
}

int CheckSettingsInFreshProcess(const std::string& file, const std::string& expect) {
  try {
    vhost::HostState& host = vhost::State();
    host.Reset();
    Require(host.settings.LoadFile(file).ok(), "cannot read " + file);
    vhost::VeltraneSession session(PluginPath());
    Require(session.Start() == 1, "event 1 did not answer 1");
    std::string shown;
    for (const char* box : kBoxes)
      shown += host.widgets.Bool(session.CheckBox(box), "checked") ? '1' : '0';
    const int32_t w = session.Window();
    shown += host.widgets.Bool(w, "visible") ? '1' : '0';
    int posX = -1;
    int posY = -1;
    std::sscanf(expect.c_str() + 8, "%d %d", &posX, &posY);
    Require(shown == expect.substr(0, 7),
            "restored " + shown + ", expected " + expect.substr(0, 7));
    if (posX >= 0 && posY >= 0) {
      Require(host.widgets.Int(w, "pos_x") == posX && host.widgets.Int(w, "pos_y") == posY,
              "the window position was not restored");
    }
    session.Exit();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "settings round trip: %s\n", e.what());
    return 1;
  }
}

}  // namespace validator
