// Loads model files into the stand-in host's documents: Wavefront OBJ files and
// scene files that gather objects from OBJ files or spell them out inline.
//
// OBJ files
// ---------
// Every `o` or `g` statement with a name starts a new object (a `g` with several
// names gives one object named by all of them, space-separated); geometry before
// the first one belongs to an object named after the file (its name without
// directory and extension). Objects holding no geometry are dropped, so a file
// without `o`/`g` gives one object and an empty file none.
//   f  a face of 3 or more points, kept as it is (no triangulation)
//   l  a polyline of k >= 2 points: k-1 faces of 2 points
//   p  k >= 1 points: k faces of 1 point
// Faces come first in an object, then line segments, then points, each in file
// order. Every object has its own vertex list: the file's vertices that its
// elements use, in file order, renumbered from 0, positions as written.
// Indices count from 1; negative ones count back from the last vertex (texture
// coordinate, normal) defined so far. Comments run from `#` at the start of a
// line or after a blank to the end of the line. A `\` ending a line outside a
// comment continues its statement on the next line, as if both were one line;
// faults in such a statement name the line it starts on. Material, smoothing
// and display statements (usemtl, mtllib, s, mg, lod, ...) are accepted and
// ignored; free-form geometry (curv, surf, ...) and unknown statements are errors.
//
// glTF 2.0 (.gltf, .glb), by the host's own reader
// -------------------------------------------------
// The scene shown (`scene`, else the first): one object per mesh instance and
// primitive, depth first in node order, named "node/mesh" ("node/mesh-P" for
// primitive P of a mesh of several; a nameless node takes the file's name
// without directory and extension, a nameless mesh "mesh N" by its index);
// KHR_node_visibility's false hides a node and everything below it. Faces as
// the primitive's mode draws them: points and lines as faces of 1 and 2 points
// (a line loop closed), triangle strips and fans as triangles. Vertices are each
// primitive's, after joining those identical to the bit in position, normal,
// texture coordinates and colours (weld.h). Buffers from data: URIs, files
// beside the asset, or a .glb's binary chunk; strides, sparse accessors, every
// component type (KHR_mesh_quantization); Draco and meshopt compression in the
// Linux builds. A file that is not valid glTF, or that requires an extension
// that changes geometry and is not read here, is a ModelError naming the
// element ("FILE: accessor 3: ..."). A glTF 1.0 file goes on to assimp.
//
// Other formats, through assimp (Linux builds)
// --------------------------------------------
// Every format the assimp library imports (glTF 1.0, FBX, PLY, STL,
// COLLADA, 3DS, OFF, ...; SupportedExtensions lists them), read as a modelling
// host reads them:
//   objects   one per mesh instance in the file's node hierarchy, depth first in
//             the file's order (a mesh used by three nodes is three objects; a
//             mesh assimp splits, by glTF primitive or by material, is one per
//             part), named "node/mesh" (a nameless node takes the file's name
//             without directory and extension, a nameless mesh "mesh N"); an FBX
//             node with "Show" false hides its objects and those below it
//   faces     as the file stores them, not triangulated; points and lines are
//             faces of 1 and 2 points
//   vertices  each mesh's, after joining vertices identical to the bit in
//             position, normal, texture coordinates and colours (weld.h): a
//             format that splits a corner at a UV or normal seam (glTF) counts
//             the copies as stored. STL's facet normals are dropped first, so
//             the corners of neighbouring facets are one vertex.
//   ignored   materials, animation, skins, cameras, lights
// A file assimp refuses is a ModelError "file: <assimp's message>"; so is one it
// reads without meshes, and one on which it warned of anything but what is
// ignored above (it drops geometry it cannot make sense of with only a
// warning). Files some of its readers cannot survive (PLY and OFF with faults
// its readers hang or crash on), and geometry its readers do not hand over as
// stored (PLY edge and tristrips, COLLADA trifans), are refused before it sees
// them; an import past its time limit is stopped. Builds without
// assimp (Windows) read OBJ and scenes only.
//
// Scene files (JSON, UTF-8)
// -------------------------
//   {
//     "format": "veltrane-scene",
//     "version": 1,
//     "current": 1,
//     "objects": [
//       {"file": "cup_half.obj", "mirror": {"type": "connected", "axis": "x"}},
//       {"file": "parts.obj", "object": "Lid", "name": "lid", "visible": false},
//       null,
//       {"name": "tri", "vertices": [[0, 0, 0], [1, 0, 0], [0, 1, 0]], "faces": [[0, 1, 2]]},
//       {"file": "vase_profile.obj", "lathe": {"type": "on", "axis": "y", "segments": 24}},
//       {"file": "cage.obj", "patch": {"type": "on", "segments": 2}}
//     ]
//   }
// Top level (every key other than "current" is required):
//   format    "veltrane-scene"
//   version   1; files of a later version are refused
//   objects   the document's slots in order; null is an empty slot
//   current   the slot made current, counted over the slots the entries fill;
//             must hold an object. Default: the first slot holding one.
// An entry takes its geometry from exactly one of:
//   file      a model file (OBJ or any format above), relative to the scene
//             file's directory. With "object": the first object of that name in
//             it; without: each of its objects, in slots of their own, in file
//             order.
//   vertices  [[x, y, z], ...] with "faces": [[i, j, ...], ...], each face
//             of 1 or more points given as 0-based indices into "vertices".
// and may set:
//   name      the object's name; default: its name in the file, or "object N" for an
//             inline object in slot N. Only for an entry that gives one object.
//   visible   true (default) or false
//   mirror    {"type": "off" | "separate" | "connected", "axis": a set of the
//             letters x, y, z such as "x" or "xz" (default "x"), "distance":
//             number >= 0 (default 0)}
//   lathe     {"type": "off" | "on", "axis": "x" | "y" | "z" (default "y"),
//             "segments": 3 to 1024 (default 12)}
//   patch     {"type": "off" | "on", "segments": 1 to 4 (default 1)}
// Settings apply to every object an entry gives. Unknown keys, repeated keys,
// values of the wrong type and values out of range are errors.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/model/documents.h"
#include "host/models/limits.h"
#include "host/models/model_error.h"

namespace vhost {

// Each loader appends the model's objects to `document` in new slots after its
// existing ones and makes the model's current object (a scene's "current", else
// its first object) the document's current one. All or nothing: on a ModelError
// (running out of memory included) `document` is left exactly as it was. Memory
// goes with the geometry, not with the size of the files: an OBJ file is read in
// pieces of whole statements, so endless input (a pipe, a device) ends with an
// error at the limits above or at the host's counts.

void LoadObj(const std::string& path, Document& document, const LoadProgress& progress = {});
void LoadScene(const std::string& path, Document& document, const LoadProgress& progress = {});

// By the path's extension, in any case: a scene for ".json", an OBJ file for
// ".obj" or no extension at all (a pipe, say), glTF for ".gltf" and ".glb",
// assimp for the other formats it imports. Any other extension is a
// ModelError naming the supported ones.
void LoadModel(const std::string& path, Document& document, const LoadProgress& progress = {});

// The extensions LoadModel takes, lower-case with the dot, sorted.
std::vector<std::string> SupportedExtensions();

// How long each later import through assimp may take before it is stopped and
// the file is a ModelError "FILE: assimp's importer did not finish in N s":
// `seconds` (0: no limit), or with none the default, 60 s and 10 s more for
// each MiB of the file. Process-wide; set before loading.
void SetImportTimeLimit(std::optional<double> seconds);

}  // namespace vhost
