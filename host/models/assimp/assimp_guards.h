// Checks for files that assimp's own readers cannot survive (they hang, crash
// or corrupt memory on them: found by fuzzing Debian's assimp 5.2), made before
// assimp sees the file. Each reads only what it needs and leaves a file it cannot
// open to assimp to refuse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/models/model_error.h"
#include "host/models/source_text.h"

namespace vhost::models {

// Why `path` must not reach assimp, by its extension and its content, as the
// error loading it is; none when nothing is known against it. The message
// names the line of a fault in the file's text itself, and line() tells it. A
// file that cannot be opened is left to assimp to refuse; one that opens but
// cannot be read is refused as such.
std::optional<ModelError> AssimpReaderHazard(const std::string& path);
// The same for `bytes` (the caller's, alive meanwhile) as the file `name`
// names, whose extension counts as a path's does. Bytes, not a ByteSource: a
// file is read more than once, its start to tell the format and then by each
// check that its name or content calls for.
std::optional<ModelError> AssimpReaderHazard(std::string_view bytes, const std::string& name);

// What a fault the checks below found is, beyond their message: its kind, and
// the line its message names (0 for none).
struct FaultDetail {
  ModelError::Kind kind = ModelError::Kind::kSyntax;
  int64_t line = 0;
};

// Each check reads `source` from where it stands (its start, for the file's
// bytes) and reads bytes that cannot be read as the end.

// What is wrong with a PLY file for assimp's PLY reader: its header (see
// ply_header.h), and its body against what the header declares; empty when
// nothing.
std::string PlyHeaderFault(ByteSource& source, FaultDetail& detail);

// What a COLLADA file holds that assimp's reader does not hand over as stored;
// empty when nothing. By path, a .zae archive's COLLADA documents are checked;
// a source is read as one COLLADA document.
std::string ColladaFault(const std::string& path);
std::string ColladaFault(ByteSource& document);

// What is wrong with an OFF file for assimp's OFF reader; empty when nothing.
std::string OffFault(ByteSource& source, FaultDetail& detail);

}  // namespace vhost::models
