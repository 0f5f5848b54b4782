// Writes an N x N grid of quads, each split into two triangles, as one mesh in
// one of three binary formats, for bench/formats-load.sh: the same grid as
// bench/make-grid-obj.sh (positions x/N, y/N and a small height), so that
// every format holds (N+1)^2 distinct vertices and 2 N^2 triangles.
//
//   glb  glTF 2.0 binary: one node, one mesh, one indexed primitive (POSITION
//        float VEC3 with its min/max, uint32 indices)
//   ply  binary little-endian PLY: float x y z, faces `list uchar int
//        vertex_indices`
//   stl  binary STL: every facet with its normal and three corners
//
// The file is written under FILE.partial and renamed, so an interrupted run
// leaves nothing that a later run would take as complete. Written for speed
// (a 10-million-triangle file in a few seconds): one pass, buffered output.
//
// usage: make_grid glb|ply|stl N FILE
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using Vec3 = std::array<float, 3>;

// Owns the stream of FILE.partial until Finish renames it into place; a writer
// that is dropped unfinished removes its partial file. Bytes gather in a
// buffer of its own and go out a mebibyte at a time.
class Output {
 public:
  explicit Output(std::string path) : path_(std::move(path)), partial_(path_ + ".partial") {
    file_ = std::fopen(partial_.c_str(), "wb");
    if (file_ == nullptr) Fail("cannot create");
    buffer_.reserve(kBlock);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    if (file_ != nullptr) {
      std::fclose(file_);
      std::remove(partial_.c_str());
    }
  }

  void Bytes(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    if (buffer_.size() >= kBlock) Flush();
  }
  // Little-endian on every host this runs on (x86-64, aarch64): the formats'
  // byte order is the machine's, checked once in main.
  template <typename T>
  void Value(T value) {
    Bytes(&value, sizeof value);
  }
  void Text(const std::string& text) { Bytes(text.data(), text.size()); }

  void Finish() {
    Flush();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) Fail("cannot write");
    if (std::rename(partial_.c_str(), path_.c_str()) != 0) Fail("cannot rename into place");
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  void Flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      Fail("cannot write");
    }
    buffer_.clear();
  }
  [[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "make_grid: %s: %s: %s\n", partial_.c_str(), what, std::strerror(errno));
    if (file_ != nullptr) std::fclose(file_);
    std::remove(partial_.c_str());
    std::exit(2);
  }

  std::string path_;
  std::string partial_;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
};

struct Grid {
  std::uint32_t n;
  std::uint64_t Vertices() const { return std::uint64_t{n + 1} * (n + 1); }
  std::uint64_t Triangles() const { return 2 * std::uint64_t{n} * n; }
  // The height pattern of make-grid-obj.sh, so that no two rows are alike.
  Vec3 Position(std::uint32_t x, std::uint32_t y) const {
    return {static_cast<float>(x) / static_cast<float>(n),
            static_cast<float>(y) / static_cast<float>(n),
            static_cast<float>((x * 7 + y * 13) % 17) / 170.0F};
  }
  // The two triangles of quad (x, y), counter-clockwise seen from +z.
  std::array<std::uint32_t, 6> Corners(std::uint32_t x, std::uint32_t y) const {
    const std::uint32_t a = y * (n + 1) + x;
    const std::uint32_t b = a + 1;
    const std::uint32_t c = a + n + 2;
    const std::uint32_t d = a + n + 1;
    return {a, b, c, a, c, d};
  }
};

void WritePositions(Output& out, const Grid& grid) {
  for (std::uint32_t y = 0; y <= grid.n; ++y) {
    for (std::uint32_t x = 0; x <= grid.n; ++x) {
      for (const float v : grid.Position(x, y)) out.Value(v);
    }
  }
}

void WriteGlb(Output& out, const Grid& grid) {
  const std::uint64_t positionBytes = grid.Vertices() * 12;
  const std::uint64_t indexBytes = grid.Triangles() * 3 * 4;
  // Bounds exact to the bit: a float printed with 9 significant digits reads
  // back as the same float, which is what validators compare. The height
  // repeats every 17 columns and rows, so its top is within the first 17 of each.
  float zMax = 0;
  for (std::uint32_t y = 0; y <= std::min(grid.n, 16U); ++y) {
    for (std::uint32_t x = 0; x <= std::min(grid.n, 16U); ++x) {
      zMax = std::max(zMax, grid.Position(x, y)[2]);
    }
  }
  char bounds[160];
  std::snprintf(bounds, sizeof bounds, "\"min\":[0,0,0],\"max\":[1,1,%.9g]",
                static_cast<double>(zMax));
  std::string json =
      "{\"asset\":{\"version\":\"2.0\",\"generator\":\"veltrane bench/make_grid\"},"
      "\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"name\":\"grid\",\"mesh\":0}],"
      "\"meshes\":[{\"name\":\"grid\",\"primitives\":[{\"attributes\":{\"POSITION\":0},"
      "\"indices\":1,\"mode\":4}]}],"
      "\"buffers\":[{\"byteLength\":" +
      std::to_string(positionBytes + indexBytes) +
      "}],"
      "\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":" +
      std::to_string(positionBytes) +
      ",\"target\":34962},{\"buffer\":0,\"byteOffset\":" + std::to_string(positionBytes) +
      ",\"byteLength\":" + std::to_string(indexBytes) +
      ",\"target\":34963}],"
      "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":" +
      std::to_string(grid.Vertices()) + ",\"type\":\"VEC3\"," + bounds +
      "},{\"bufferView\":1,\"componentType\":5125,\"count\":" +
      std::to_string(grid.Triangles() * 3) + ",\"type\":\"SCALAR\"}]}";
  json.append((4 - json.size() % 4) % 4, ' ');  // chunks are 4-byte aligned
  // Positions and indices are multiples of 4 bytes: the binary chunk needs no padding.
  const std::uint64_t total = 12 + 8 + json.size() + 8 + positionBytes + indexBytes;
  if (total > UINT32_MAX) {
    std::fprintf(stderr, "make_grid: a %u x %u grid does not fit in one GLB file\n", grid.n,
                 grid.n);
    std::exit(2);
  }
  out.Value<std::uint32_t>(0x46546C67);  // "glTF"
  out.Value<std::uint32_t>(2);
  out.Value(static_cast<std::uint32_t>(total));
  out.Value(static_cast<std::uint32_t>(json.size()));
  out.Value<std::uint32_t>(0x4E4F534A);  // "JSON"
  out.Text(json);
  out.Value(static_cast<std::uint32_t>(positionBytes + indexBytes));
  out.Value<std::uint32_t>(0x004E4942);  // "BIN\0"
  WritePositions(out, grid);
  for (std::uint32_t y = 0; y < grid.n; ++y) {
    for (std::uint32_t x = 0; x < grid.n; ++x) {
      for (const std::uint32_t corner : grid.Corners(x, y)) out.Value(corner);
    }
  }
}

void WritePly(Output& out, const Grid& grid) {
  out.Text(
      "ply\nformat binary_little_endian 1.0\ncomment veltrane bench/make_grid\nelement vertex " +
      std::to_string(grid.Vertices()) +
      "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
      std::to_string(grid.Triangles()) + "\nproperty list uchar int vertex_indices\nend_header\n");
  WritePositions(out, grid);
  for (std::uint32_t y = 0; y < grid.n; ++y) {
    for (std::uint32_t x = 0; x < grid.n; ++x) {
      const auto corners = grid.Corners(x, y);
      for (int t = 0; t < 2; ++t) {
        out.Value<std::uint8_t>(3);
        for (int k = 0; k < 3; ++k) out.Value(static_cast<std::int32_t>(corners[3 * t + k]));
      }
    }
  }
}

void WriteStl(Output& out, const Grid& grid) {
  char header[80] = {};
  std::snprintf(header, sizeof header, "veltrane bench/make_grid: %u x %u quads as triangles",
                grid.n, grid.n);
  out.Bytes(header, sizeof header);
  if (grid.Triangles() > UINT32_MAX) {
    std::fprintf(stderr, "make_grid: %llu facets do not fit in a binary STL file\n",
                 static_cast<unsigned long long>(grid.Triangles()));
    std::exit(2);
  }
  out.Value(static_cast<std::uint32_t>(grid.Triangles()));
  for (std::uint32_t y = 0; y < grid.n; ++y) {
    for (std::uint32_t x = 0; x < grid.n; ++x) {
      const auto corners = grid.Corners(x, y);
      for (int t = 0; t < 2; ++t) {
        std::array<Vec3, 3> p;
        for (int k = 0; k < 3; ++k) {
          const std::uint32_t i = corners[3 * t + k];
          p[k] = grid.Position(i % (grid.n + 1), i / (grid.n + 1));
        }
        const Vec3 u{p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const Vec3 v{p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        Vec3 normal{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                    u[0] * v[1] - u[1] * v[0]};
        const float length =
            std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        for (float& c : normal) c /= length;
        for (const float c : normal) out.Value(c);
        for (const Vec3& corner : p) {
          for (const float c : corner) out.Value(c);
        }
        out.Value<std::uint16_t>(0);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t probe = 1;
  unsigned char first = 0;
  std::memcpy(&first, &probe, 1);
  if (first != 1) {
    std::fprintf(stderr, "make_grid: this machine is big-endian; the formats are little-endian\n");
    return 2;
  }
  char* end = nullptr;
  const unsigned long n = argc == 4 ? std::strtoul(argv[2], &end, 10) : 0;
  const std::string format = argc == 4 ? argv[1] : "";
  if (argc != 4 || *end != '\0' || n < 1 || n > 46339 ||
      (format != "glb" && format != "ply" && format != "stl")) {
    std::fprintf(stderr, "usage: make_grid glb|ply|stl N FILE   (N from 1 to 46339)\n");
    return 2;
  }
  const Grid grid{static_cast<std::uint32_t>(n)};
  Output out(argv[3]);
  if (format == "glb") {
    WriteGlb(out, grid);
  } else if (format == "ply") {
    WritePly(out, grid);
  } else {
    WriteStl(out, grid);
  }
  out.Finish();
  return 0;
}
