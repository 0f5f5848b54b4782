// The refresh and the freeze path.
//
//   UpdateCounts/N  - a refresh with "All" on over N objects (cubes), the window's
//                     twelve number fields written through the host included;
//   CountCubes/N    - the same N objects counted with CountObject alone: what
//                     the refresh must cost at least;
//   FreezePath      - CountObject with "Freeze" on for a patched cage of 100k
//                     faces (level 2): clone, freeze, count 1.6M faces, delete;
//   FreezeOnly      - the host's share of that: clone, freeze and delete alone.
#include <benchmark/benchmark.h>

#include <array>
#include <map>
#include <stdexcept>

#include "counter/veltrane.h"
#include "frame/host_functions.h"
#include "host/api/host_state.h"
#include "protocol/entry_points.h"

namespace {

void Bind() {
  static const bool bound = MQInit(vhost::ModulePath().c_str()) != 0;
  if (!bound) throw std::runtime_error("cannot bind the host functions");
}

void AddCube(vhost::Object& o) {
  for (int i = 0; i < 8; ++i) o.AddVertex({double(i & 1), double((i >> 1) & 1), double(i >> 2)});
  for (const auto& f : {std::vector<int32_t>{0, 2, 3, 1},
                        {4, 5, 7, 6},
                        {0, 1, 5, 4},
                        {1, 3, 7, 5},
                        {3, 2, 6, 7},
                        {2, 0, 4, 6}}) {
    o.AddFace(f);
  }
}

vhost::Document& Cubes(int64_t count) {
  static std::map<int64_t, vhost::Document*> cache;
  auto& slot = cache[count];
  if (slot == nullptr) {
    slot = &vhost::State().documents.Open();
    for (int64_t i = 0; i < count; ++i) AddCube(slot->AddObject("cube"));
    slot->currentIndex = static_cast<int32_t>(count / 2);
  }
  return *slot;
}

bool g_started = false;

// The plug-in started with its window shown and counting every object.
Veltrane& CountingPlugin() {
  static Veltrane* plugin = [] {
    Bind();
    vhost::State().widgets.options.keepTrace = false;
    Veltrane& v = TheVeltrane();
    v.Initialize();
    v.Activate(nullptr, 1);
    v.update = v.all = v.triangle = true;
    v.visible = false;
    v.freeze = false;
    g_started = true;
    return &v;
  }();
  return *plugin;
}

void BM_UpdateCounts(benchmark::State& state) {
  Veltrane& plugin = CountingPlugin();
  vhost::Document& doc = Cubes(state.range(0));
  for (auto _ : state) plugin.UpdateCounts(&doc);
  state.counters["ns_per_object"] =
      benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

void BM_CountCubes(benchmark::State& state) {
  Veltrane& plugin = CountingPlugin();
  vhost::Document& doc = Cubes(state.range(0));
  for (auto _ : state) {
    std::array<int32_t, 6> c{};
    for (int32_t i = 0; i < doc.SlotCount(); ++i) {
      plugin.CountObject(c[0], c[1], c[2], c[3], c[4], c[5], doc.At(i));
    }
    benchmark::DoNotOptimize(c);
  }
  state.counters["ns_per_object"] =
      benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

// A patched grid cage of 100,000 quads (250 x 400).
vhost::Object& PatchedCage() {
  static vhost::Object* cage = [] {
    vhost::Object& o = vhost::State().documents.Open().AddObject("cage");
    const int w = 250;
    const int h = 400;
    for (int y = 0; y <= h; ++y) {
      for (int x = 0; x <= w; ++x) o.AddVertex({double(x), double(y), double((x * y) % 7)});
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int32_t a = y * (w + 1) + x;
        o.AddFace({a, a + 1, a + w + 2, a + w + 1});
      }
    }
    o.patch = {1, 2};
    return &o;
  }();
  return *cage;
}

void BM_FreezePath(benchmark::State& state) {
  Veltrane& plugin = CountingPlugin();
  vhost::Object& cage = PatchedCage();
  plugin.freeze = true;
  std::array<int32_t, 6> c{};
  for (auto _ : state) {
    c = {};
    plugin.CountObject(c[0], c[1], c[2], c[3], c[4], c[5], &cage);
    benchmark::DoNotOptimize(c);
  }
  plugin.freeze = false;
  state.counters["faces_counted"] = c[4];
  if (vhost::State().documents.LiveClones() != 0) state.SkipWithError("a copy outlived the count");
}

void BM_FreezeOnly(benchmark::State& state) {
  Bind();
  vhost::Object& cage = PatchedCage();
  using mq::CallHost;
  using mq::HostFn;
  for (auto _ : state) {
    MQObject copy = CallHost<HostFn::MQObj_Clone>(&cage);
    CallHost<HostFn::MQObj_Freeze>(copy, 0x7FFFFFFFu);
    CallHost<HostFn::MQObj_Delete>(copy);
  }
}

BENCHMARK(BM_UpdateCounts)->RangeMultiplier(10)->Range(1, 10000);
BENCHMARK(BM_CountCubes)->RangeMultiplier(10)->Range(1, 10000);
BENCHMARK(BM_FreezePath)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FreezeOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The window goes while the host that holds its widgets is still there.
  if (g_started) TheVeltrane().Exit();
  return 0;
}
