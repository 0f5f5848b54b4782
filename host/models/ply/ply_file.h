// Our PLY reader: text and binary (little and big endian) bodies, read in one
// scan into one object.
//
// What counts, as the file stores it:
//   object    one, named "FILE/mesh 0" (FILE: the file's name without folder
//             and extension), holding every element below
//   vertices  the "vertex" element's, those identical to the bit in position,
//             normal, texture coordinates and colours joined into one (the
//             property types as the file declares them; other properties
//             are no part of a vertex's identity)
//   faces     each "face" record's "vertex_indices" (or "vertex_index") list,
//             as stored: 1 and 2 points too; each "edge" record (vertex1,
//             vertex2) a face of 2 points; each "tristrips" list a strip of
//             triangles, -1 starting the next, n-2 triangles for n points
//   a file with vertices and no faces is a point cloud: a 1-point face per
//   vertex
// Every other element is read past. A file that is not PLY as its header
// declares it (a body cut short or longer, an index past the vertices, a
// negative list size, a value that is no number of its type) is a ModelError
// naming the element and its record ("FILE: element face 12: index 9 past the
// 8 vertices"), and for a text body the line.
#pragma once

#include <memory>
#include <string>

#include "host/models/model_file.h"
#include "host/models/source_text.h"

namespace vhost::models {

// Reads `source` (the caller's, read during the call) as the PLY file `path`
// names in messages. Throws ModelError, std::bad_alloc when memory runs out.
std::unique_ptr<ModelFile> ReadPlyFile(ByteSource& source, const std::string& path,
                                       const ProgressShare& progress = {});
std::unique_ptr<ModelFile> ReadPlyFile(const std::string& path, const ProgressShare& progress = {});

}  // namespace vhost::models
