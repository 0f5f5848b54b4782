// Joining identical vertices (host/models/weld.h): our table, which every
// build uses, against meshoptimizer's remap, on what the glTF reader hands it.
// A grid's
// positions (every vertex distinct, 12 bytes) and the same vertices split per
// triangle corner with a normal and a UV (each vertex six times, 32 bytes).
#include <benchmark/benchmark.h>

#include <vector>

#include "host/models/weld.h"

namespace {

using vhost::models::VertexAttribute;

struct Vertices {
  std::vector<float> data;
  std::size_t count = 0;
  std::vector<VertexAttribute> attributes;
};

// An n × n grid of quads: its vertices' positions, or (split) two triangles a
// quad, each corner a copy of its vertex with position, normal and UV.
Vertices Grid(std::size_t n, bool split) {
  Vertices v;
  const std::size_t side = n + 1;
  if (!split) {
    for (std::size_t j = 0; j < side; ++j) {
      for (std::size_t i = 0; i < side; ++i) {
        v.data.insert(v.data.end(), {float(i), float(j), 0});
      }
    }
    v.count = side * side;
    v.attributes = {{v.data.data(), 12, 12}};
    return v;
  }
  const std::size_t corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t i = 0; i < n; ++i) {
      for (const auto& c : corners) {
        const float x = float(i + c[0]), y = float(j + c[1]);
        v.data.insert(v.data.end(), {x, y, 0, 0, 0, 1, x / n, y / n});
      }
    }
  }
  v.count = n * n * 6;
  v.attributes = {{v.data.data(), 12, 32}, {v.data.data() + 3, 12, 32}, {v.data.data() + 6, 8, 32}};
  return v;
}

template <typename Join>
void Run(benchmark::State& state, Join join, bool split) {
  const Vertices v = Grid(static_cast<std::size_t>(state.range(0)), split);
  for (auto _ : state) benchmark::DoNotOptimize(join(v.count, v.attributes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * v.count));
}

void OurTable(benchmark::State& state) { Run(state, vhost::models::WeldIdentical, false); }
void Meshoptimizer(benchmark::State& state) { Run(state, vhost::models::WeldByLibrary, false); }
void OurTableSplit(benchmark::State& state) { Run(state, vhost::models::WeldIdentical, true); }
void MeshoptimizerSplit(benchmark::State& state) { Run(state, vhost::models::WeldByLibrary, true); }

BENCHMARK(OurTable)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(Meshoptimizer)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(OurTableSplit)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK(MeshoptimizerSplit)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
