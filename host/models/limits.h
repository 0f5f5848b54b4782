// How much of its input a reader holds at once, whatever the input's size: the
// limits its messages name. Beneath the readers, so that each takes its own
// from here and the public models.h shows them all.
#pragma once

#include <cstdint>

namespace vhost {

// The longest OBJ statement this host reads: one line with the lines a `\`
// continues it onto, line ends included. A longer one is refused as
// "FILE:LINE: line longer than 64 MiB, the most this host reads as one statement"
// once that much of it has been read, so an OBJ file costs at most this much
// memory besides its geometry, whatever its size.
constexpr uint64_t kMaxObjStatementBytes = uint64_t{64} << 20;

// The longest line of a PLY or STL text body, and the longest record of a
// binary PLY body (a face of millions of points): a longer one is refused as
// "FILE:LINE: line longer than 64 MiB, ..." or "FILE: element face 12: record
// longer than 64 MiB, ...", so that these readers hold at most this much of
// their file at once besides its geometry.
constexpr uint64_t kMaxRecordBytes = uint64_t{64} << 20;

// The largest scene file this host reads (a scene is read whole): a larger one,
// or a pipe giving more, is refused as "FILE: larger than 256 MiB, the most this
// host reads of such a file".
constexpr uint64_t kMaxSceneBytes = uint64_t{256} << 20;

// The largest glTF file, and buffer file beside one, this host reads (each is
// read whole): 4 GiB, the most a binary glTF file's header can declare. A
// larger one is refused as "FILE: larger than 4096 MiB, the most this host
// reads of such a file".
constexpr uint64_t kMaxGltfBytes = uint64_t{4} << 30;

}  // namespace vhost
