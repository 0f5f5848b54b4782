// Lifecycle stress (many start/exit cycles in one load; many loads and unloads)
// and the allocation-failure sweep. Each runs in child processes of its own.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "host/api/host_state.h"
#include "host/probe/veltrane_facts.h"
#include "host/probe/veltrane_session.h"
#include "tests/support/counting_allocator.h"
#include "validator.h"

namespace validator {
namespace {

namespace alloc = testing_support::alloc;

constexpr const auto& kBoxes = vhost::veltrane::kCheckBoxes;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRssIsMeaningful = false;  // the sanitizer's quarantine holds freed memory
#else
constexpr bool kRssIsMeaningful = true;
#endif

int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0;
  int64_t resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

bool IsMapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

void RequireOnlyMainWindow(const std::string& when) {
  const vhost::WidgetTree& tree = vhost::State().widgets;
  const std::vector<int32_t> alive = tree.AliveIds();
  Require(alive.size() == 1 && alive[0] == tree.MainWindow(),
          Str(alive.size() - 1) + " widget(s) of the plug-in alive " + when);
  Require(vhost::State().documents.LiveClones() == 0, "a frozen copy alive " + when);
}

// A document with one object of each modifier, so counting makes and deletes copies.
void Populate(vhost::Document& doc) {
  vhost::Object& cube = doc.AddObject("cube");
  for (int i = 0; i < 8; ++i)
    cube.AddVertex({double(i & 1), double((i >> 1) & 1), double(i >> 2) + 1});
  cube.AddFace({0, 1, 3, 2});
  cube.AddFace({4, 6, 7, 5});
  cube.AddFace({0, 4, 5, 1});
  cube.mirror = {1, 4, 0};
  vhost::Object& profile = doc.AddObject("profile");
  profile.AddVertex({0, 0, 0});
  profile.AddVertex({1, 1, 0});
  profile.AddVertex({0.5, 2, 0});
  profile.AddFace({0, 1});
  profile.AddFace({1, 2});
  profile.lathe = {1, 1, 6};
  vhost::Object& tri = doc.AddObject("patched");
  tri.AddVertex({0, 0, 0});
  tri.AddVertex({1, 0, 0});
  tri.AddVertex({0, 1, 0});
  tri.AddFace({0, 1, 2});
  tri.patch = {1, 1};
  tri.visible = false;
  doc.currentIndex = 0;
}

// One working session: start, show, tick every box twice, minimise and
// restore the group, recount, close, exit.
void WorkCycle(vhost::VeltraneSession& session, vhost::Document& doc) {
  vhost::WidgetTree& tree = vhost::State().widgets;
  Require(session.Start() == 1, "event 1 did not answer 1");
  session.Activate(&doc, true);
  for (const char* box : kBoxes) session.SetTicked(box, true, &doc);
  session.DocumentEvent(doc, 210);
  session.SetAllMinimized(true, &doc);
  session.SetAllMinimized(false, &doc);
  for (const char* box : kBoxes) session.Click(box, &doc);
  session.IsActivated(&doc);
  session.CloseWindow(&doc);
  tree.Put(session.Window(), "pos_x", 120);
  Require(session.Exit() == 1, "event 2 did not answer 1");
}

// Keeps the host's own records from growing between cycles: its call trace,
// its message log and the subtrees its settings keep after removal. The
// plug-in's stored options are carried over.
void TrimHost(vhost::VeltraneSession& session) {
  vhost::HostState& host = vhost::State();
  host.widgets.ClearTrace();
  host.messages.clear();
  std::vector<std::pair<std::string, std::string>> stored;
  if (const void* section = host.settings.FindSection(vhost::veltrane::kSectionName)) {
    for (const vhost::SettingsEntry& entry : host.settings.ListChildren(section)) {
      stored.emplace_back(entry.name, entry.text.value_or(""));
    }
  }
  host.settings.Reset();
  for (const auto& entry : stored) session.StoreSetting(entry.first, entry.second);
}

struct Growth {
  int64_t allocations = 0;
  int64_t rss = 0;
};

void ReportGrowth(const char* what, const Growth& before, const Growth& after, int rounds) {
  std::printf("  %s: %d rounds; live allocations %lld -> %lld; resident %lld KiB -> %lld KiB%s\n",
              what, rounds, static_cast<long long>(before.allocations),
              static_cast<long long>(after.allocations), static_cast<long long>(before.rss / 1024),
              static_cast<long long>(after.rss / 1024),
              kRssIsMeaningful ? "" : " (not held to a bound: the sanitizer keeps freed memory)");
  Require(after.allocations <= before.allocations, std::string(what) +
                                                       ": live allocations grew by " +
                                                       Str(after.allocations - before.allocations));
  if (kRssIsMeaningful) {
    Require(after.rss - before.rss < 4 * 1024 * 1024,
            std::string(what) + ": resident memory grew by " +
                Str((after.rss - before.rss) / 1024) + " KiB");
  }
}

void CyclesInOneLoad(int cycles, ChildReport& report) {
  vhost::State().Reset();
  vhost::VeltraneSession session(PluginPath());
  vhost::Document& doc = vhost::State().documents.Open();
  Populate(doc);
  vhost::State().widgets.options.document = &doc;
  // What the host keeps for good after its first rounds is not growth.
  const int warmUp = std::max(2, cycles / 10);
  Growth before;
  for (int i = 0; i < cycles; ++i) {
    if (i == warmUp) before = {alloc::Live(), ResidentBytes()};
    WorkCycle(session, doc);
    RequireOnlyMainWindow("after exit in cycle " + Str(i));
    TrimHost(session);
    ++report.steps;
  }
  ReportGrowth("start/exit cycles in one load", before, {alloc::Live(), ResidentBytes()}, cycles);
}

void LoadsAndUnloads(int loads, ChildReport& report) {
  vhost::State().Reset();
  vhost::Document& doc = vhost::State().documents.Open();
  Populate(doc);
  vhost::State().widgets.options.document = &doc;
  const std::string path = PluginPath();
  // Rounds alternate between two endings; both run once before the baseline,
  // so that what the host keeps for good after the first of each is not growth.
  const int warmUp = std::max(2, loads / 10);
  Growth before;
  for (int i = 0; i < loads; ++i) {
    if (i == warmUp) before = {alloc::Live(), ResidentBytes()};
    Require(!IsMapped(path), "the plug-in is mapped before load " + Str(i));
    {
      vhost::VeltraneSession session(path);
      WorkCycle(session, doc);
      if (i % 2 == 1) {
        // Unloaded while its window is up: the library's own teardown must
        // delete the window's widgets.
        Require(session.Start() == 1, "event 1 did not answer 1");
        session.Activate(&doc, true);
      }
      TrimHost(session);
    }
    Require(!IsMapped(path), "the plug-in is still mapped after unload " + Str(i));
    RequireOnlyMainWindow("after unload " + Str(i));
    ++report.steps;
  }
  ReportGrowth("loads and unloads", before, {alloc::Live(), ResidentBytes()}, loads);
}

// --- Allocation failure ---------------------------------------------------------------

// Calls into the plug-in with counting on, so that only allocations made
// during the call (the plug-in's and the host functions' it calls) can fail.
// An exception reaching here crossed the plug-in's boundary.
template <class F>
void IntoPlugin(const char* what, F&& call) {
  alloc::SetCounting(true);
  try {
    call();
  } catch (...) {
    alloc::SetCounting(false);
    throw Violation(std::string("an exception crossed the plug-in's boundary in ") + what);
  }
  alloc::SetCounting(false);
}

// Raises `type` on widget `id` through the host's tree, with only the plug-in's
// callbacks running with counting on, not the tree's own bookkeeping. An event
// the plug-in raises from inside a callback (a property change) is already
// inside the plug-in's call and runs as it is.
void RaiseAsHost(int32_t id, const char* type, vhost::Document& doc) {
  vhost::WidgetTree& tree = vhost::State().widgets;
  const std::string name = type;
  bool inPlugin = false;
  tree.options.callHandler = [&](const vhost::WidgetEventRegistration& handler, MQDocument d,
                                 void** args) {
    if (inPlugin) return handler.proc(d, args, handler.pointer);
    int32_t result = 0;
    inPlugin = true;
    IntoPlugin(type, [&] { result = handler.proc(d, args, handler.pointer); });
    inPlugin = false;
    return result;
  };
  // Taken off again however the raise ends: a violation leaves it as an exception.
  struct Unhook {
    vhost::WidgetTree& tree;
    ~Unhook() { tree.options.callHandler = nullptr; }
  } unhook{tree};
  tree.Raise(id, id, name, &doc);
}

// A user action: the toolkit changes the widget, then raises its event.
void Flip(int32_t id, const char* property, const char* type, vhost::Document& doc) {
  vhost::WidgetTree& tree = vhost::State().widgets;
  if (!tree.IsAlive(id)) return;
  tree.Put(id, property, !tree.Bool(id, property));
  RaiseAsHost(id, type, doc);
}

struct Scenario {
  vhost::VeltraneSession& session;
  vhost::Document& doc;

  void Event(int32_t code) {
    vhost::NamedArgs args;
    args.Int("state", 0);
    IntoPlugin("a document event", [&] { session.plugin().Event(&doc, code, args); });
  }

  void Run() {
    IntoPlugin("event 1", [&] { session.Start(); });
    IntoPlugin("event 100", [&] { session.Activate(&doc, true); });
    for (const char* box : kBoxes) Flip(session.CheckBox(box), "checked", "execute", doc);
    const int32_t group = session.GroupBox("all");
    Flip(group, "minimized", "resize", doc);
    Flip(group, "minimized", "resize", doc);
    Event(210);
    Event(220);
    IntoPlugin("event 101", [&] { session.IsActivated(&doc); });
    const int32_t window = session.Window();
    if (window != 0 && vhost::State().widgets.Bool(window, "visible")) {
      Flip(window, "visible", "hide", doc);
    }
    IntoPlugin("event 2", [&] { session.Exit(); });
    RequireOnlyMainWindow("after event 2");
    IntoPlugin("event 1", [&] { session.Start(); });
    IntoPlugin("event 100", [&] { session.Activate(&doc, true); });
    IntoPlugin("event 2", [&] { session.Exit(); });
    RequireOnlyMainWindow("after the second event 2");
  }
};

// One round of the scenario in a fresh load, the `nth` counted allocation
// failing (-1: none). Afterwards the plug-in must still work and leave nothing
// alive in the host.
void Round(int64_t nth, ChildReport& report, int64_t* counted, int64_t* pluginAllocations) {
  vhost::State().Reset();
  auto session = std::make_unique<vhost::VeltraneSession>(PluginPath());
  vhost::Document& doc = vhost::State().documents.Open();
  Populate(doc);
  session->StoreSetting("update", "1");
  session->StoreSetting("all", "1");
  session->StoreSetting("freeze", "1");
  session->StoreSetting("Veltrane_activate", "1");
  vhost::State().widgets.options.document = &doc;
  if (pluginAllocations != nullptr) {
    alloc::TallyCallersIn(reinterpret_cast<const void*>(session->plugin().entries().MQOnEvent));
  }
  alloc::ResetCounted();
  if (nth >= 0) alloc::ArmFailure(nth);
  Scenario{*session, doc}.Run();
  alloc::Disarm();
  if (alloc::Fired()) ++report.faults;
  if (counted != nullptr) *counted = alloc::Counted();
  if (pluginAllocations != nullptr) *pluginAllocations = alloc::CallerTally();
  alloc::TallyCallersIn(nullptr);
  // Recovered: a whole working cycle runs as usual.
  WorkCycle(*session, doc);
  RequireOnlyMainWindow("after the recovery cycle");
  session.reset();  // unloads the plug-in
  const std::vector<std::string> leftovers = vhost::State().Leftovers();
  Require(leftovers.empty(), "after the round: " + (leftovers.empty() ? "" : leftovers.front()));
  vhost::State().Reset();
}

// One sweep point. A first round without failure makes what a process makes
// once, and lets the host's own containers reach their size (they keep their
// capacity across a reset); the leak check compares the second round with it.
void FailAt(int64_t nth, ChildReport& report, int64_t* counted, int64_t* pluginAllocations) {
  ChildReport warmUp;
  Round(-1, warmUp, nullptr, nullptr);
  const int64_t baseline = alloc::Live();
  Round(nth, report, counted, pluginAllocations);
  const int64_t kept = alloc::Live() - baseline;  // before the message allocates
  Require(kept == 0, Str(kept) + " allocation(s) never freed (leak)");
  ++report.steps;
}

}  // namespace

void RunLifecycle(const Options& options, Figures& figures) {
  ChildReport report;
  Tally(RunChild(
            "lifecycle: start/exit cycles", options.timeout * 4,
            [&](ChildReport& r) { CyclesInOneLoad(options.cycles, r); }, report),
        "lifecycle cycles", "--only lifecycle", figures);
  figures.steps += report.steps;
  report = {};
  Tally(RunChild(
            "lifecycle: loads and unloads", options.timeout * 4,
            [&](ChildReport& r) { LoadsAndUnloads(options.loads, r); }, report),
        "lifecycle loads", "--only lifecycle", figures);
  figures.steps += report.steps;
}

void RunAllocationSweep(const Options& options, Figures& figures) {
  if (options.allocAt >= 0) {  // one point, in this process
    ChildReport report;
    FailAt(options.allocAt, report, nullptr, nullptr);
    ++figures.runs;
    figures.faults += report.faults;
    return;
  }
  // First a run without failure: how many allocations the scenario makes, and
  // proof that the plug-in's own new expressions reach the test allocator.
  int64_t total = 0;
  int64_t fromPlugin = 0;
  {
    ChildReport report;
    int fds[2];
    Require(pipe(fds) == 0, "pipe failed");
    const ChildEnd end = RunChild(
        "alloc: counting run", options.timeout,
        [&](ChildReport& r) {
          int64_t figuresOut[2] = {0, 0};
          FailAt(-1, r, &figuresOut[0], &figuresOut[1]);
          Require(write(fds[1], figuresOut, sizeof figuresOut) == sizeof figuresOut,
                  "pipe write failed");
        },
        report);
    int64_t figuresIn[2] = {0, 0};
    close(fds[1]);
    if (read(fds[0], figuresIn, sizeof figuresIn) == sizeof figuresIn) {
      total = figuresIn[0];
      fromPlugin = figuresIn[1];
    }
    close(fds[0]);
    Tally(end, "alloc counting run", "--only alloc", figures);
    if (end != ChildEnd::kPassed) return;
  }
  std::printf(
      "  allocation sweep: %lld allocations in the scenario, %lld made by the plug-in's own code\n",
      static_cast<long long>(total), static_cast<long long>(fromPlugin));
  if (fromPlugin == 0) {
    std::fprintf(stderr, "alloc: the plug-in's allocations do not reach the test allocator\n");
    ++figures.failures;
    return;
  }
  for (int64_t nth = 0; nth < total; nth += options.allocStride) {
    ChildReport report;
    const std::string label = "alloc: failure at allocation " + Str(nth);
    const ChildEnd end = RunChild(
        label, options.timeout, [&](ChildReport& r) { FailAt(nth, r, nullptr, nullptr); }, report);
    figures.faults += report.faults;
    figures.steps += report.steps;
    Tally(end, label, "--only alloc --alloc-at " + Str(nth), figures);
  }
}

}  // namespace validator
