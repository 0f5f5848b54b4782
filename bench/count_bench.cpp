// What counting costs beyond the host calls it must make.
//
// CountObject asks the host for every vertex and face, so its floor is the cost
// of those calls. Three loops over the same objects:
//   CountObject  - the plug-in's count, through the host function table;
//   CallFloor    - exactly the same host calls in the same order, nothing else;
//   MemoryFloor  - a direct scan of the host's own arrays, no calls at all.
// Sizes run from 10^3 to 10^7 faces of mixed 3/4/6 points, with some deleted
// faces and unused vertices. Counters report ns per element (vertex + face).
#include <benchmark/benchmark.h>

#include <array>
#include <map>
#include <memory>
#include <stdexcept>

#include "counter/veltrane.h"
#include "frame/host_functions.h"
#include "host/api/host_state.h"
#include "protocol/entry_points.h"

namespace {

// A strip of mixed faces: every 16th face deleted, every 32nd vertex unused.
vhost::Object& MixedObject(int64_t faces) {
  static std::map<int64_t, vhost::Object*> cache;  // built once per size
  auto& slot = cache[faces];
  if (slot != nullptr) return *slot;
  vhost::Object& o = vhost::State().documents.Open().AddObject("mixed");
  for (int64_t f = 0; f < faces; ++f) {
    const int kind = static_cast<int>(f % 3);
    const int points = kind == 0 ? 3 : kind == 1 ? 4 : 6;
    std::vector<int32_t> face;
    for (int p = 0; p < points; ++p) {
      face.push_back(o.AddVertex({double(f), double(p), 0}));
      if (o.VertexCount() % 32 == 0) o.AddVertex({});  // unused
    }
    const int32_t index = o.AddFace(face);
    if (f % 16 == 15) o.DeleteFace(index);
  }
  slot = &o;
  return o;
}

void Bind() {
  static const bool bound = MQInit(vhost::ModulePath().c_str()) != 0;
  if (!bound) throw std::runtime_error("cannot bind the host functions");
}

void SetElements(benchmark::State& state, const vhost::Object& o) {
  const double elements = double(o.VertexCount()) + double(o.FaceCount());
  state.counters["ns_per_element"] = benchmark::Counter(
      elements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["elements"] = elements;
}

void BM_CountObject(benchmark::State& state) {
  Bind();
  vhost::Object& o = MixedObject(state.range(0));
  Veltrane& plugin = TheVeltrane();
  plugin.triangle = true;
  plugin.freeze = false;
  for (auto _ : state) {
    std::array<int32_t, 6> c{};
    plugin.CountObject(c[0], c[1], c[2], c[3], c[4], c[5], &o);
    benchmark::DoNotOptimize(c);
  }
  SetElements(state, o);
}

// The host calls CountObject makes, in its order: the element count before each
// step, the liveness query at each index, and the point count of each live face.
void BM_CallFloor(benchmark::State& state) {
  Bind();
  vhost::Object& o = MixedObject(state.range(0));
  using mq::HostFn;
  auto* vertexCount = reinterpret_cast<mq::HostSignature<HostFn::MQObj_GetVertexCount>::Type*>(
      mq::HostFunctionAddress(HostFn::MQObj_GetVertexCount));
  auto* refCount = reinterpret_cast<mq::HostSignature<HostFn::MQObj_GetVertexRefCount>::Type*>(
      mq::HostFunctionAddress(HostFn::MQObj_GetVertexRefCount));
  auto* faceCount = reinterpret_cast<mq::HostSignature<HostFn::MQObj_GetFaceCount>::Type*>(
      mq::HostFunctionAddress(HostFn::MQObj_GetFaceCount));
  auto* pointCount = reinterpret_cast<mq::HostSignature<HostFn::MQObj_GetFacePointCount>::Type*>(
      mq::HostFunctionAddress(HostFn::MQObj_GetFacePointCount));
  MQObject object = &o;
  for (auto _ : state) {
    int32_t sum = 0;
    int32_t i = 0;
    if (vertexCount(object) > 0 && refCount(object, 0) <= 0) {
      do ++i;
      while (i < vertexCount(object) && refCount(object, i) <= 0);
    }
    while (i < vertexCount(object)) {
      ++sum;
      do ++i;
      while (i < vertexCount(object) && refCount(object, i) <= 0);
    }
    i = 0;
    if (faceCount(object) > 0 && pointCount(object, 0) <= 0) {
      do ++i;
      while (i < faceCount(object) && pointCount(object, i) <= 0);
    }
    while (i < faceCount(object)) {
      sum += pointCount(object, i);
      do ++i;
      while (i < faceCount(object) && pointCount(object, i) <= 0);
    }
    benchmark::DoNotOptimize(sum);
  }
  SetElements(state, o);
}

void BM_MemoryFloor(benchmark::State& state) {
  vhost::Object& o = MixedObject(state.range(0));
  for (auto _ : state) {
    int32_t sum = 0;
    for (int32_t v = 0, n = o.VertexCount(); v < n; ++v) sum += o.VertexRefCount(v) > 0;
    for (int32_t f = 0, n = o.FaceCount(); f < n; ++f) sum += o.FacePointCount(f);
    benchmark::DoNotOptimize(sum);
  }
  SetElements(state, o);
}

#define SIZES RangeMultiplier(10)->Range(1000, 10000000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_CountObject)->SIZES;
BENCHMARK(BM_CallFloor)->SIZES;
BENCHMARK(BM_MemoryFloor)->SIZES;

}  // namespace

BENCHMARK_MAIN();
