// Our STL reader: binary and text files, read in one scan.
//
// What counts:
//   objects   a binary file is one, "FILE/mesh 0" (FILE: the file's name
//             without folder and extension); a text file one per solid
//             holding facets, "NAME/NAME" by the first word after "solid",
//             or "FILE/mesh N" for a solid without a name, N its place
//             among the file's solids from 0
//   faces     one triangle per facet
//   vertices  facet corners identical to the bit in position (and, in a
//             binary file that colours facets, in colour) are one vertex;
//             the facet normal is no part of a corner
// A binary file is one whose size is what its facet count makes it (84 bytes
// and 50 a facet), as every STL reader tells them apart; any other file must
// be text starting with "solid". Faults are ModelErrors naming the file and,
// in a text file, the line ("FILE:12: a facet of 4 corners").
#pragma once

#include <memory>
#include <string>

#include "host/models/model_file.h"
#include "host/models/registry.h"
#include "host/models/source_text.h"

namespace vhost::models {

// Reads `source` (the caller's, read during the call) as the STL file `path`
// names in messages. Throws ModelError, std::bad_alloc when memory runs out.
std::unique_ptr<ModelFile> ReadStlFile(ByteSource& source, const std::string& path,
                                       const ProgressShare& progress = {});
std::unique_ptr<ModelFile> ReadStlFile(const std::string& path, const ProgressShare& progress = {});

// The STL reader's entry in the registry: ".stl".
Format StlFormat();

}  // namespace vhost::models
