// Splitting one block of an OBJ file into its statements: the steps the builder
// applies, and what the fast paths made of the common statements (`v`, `vt`,
// `vn`, `f` of plain numbers and references). A batch is split knowing nothing
// of the others (its lines count from its start), so batches can be split in
// any order, on either thread, and applied in file order after.
#pragma once

#include "host/models/obj/batch.h"

namespace vhost::models::obj {

// Splits the statements of a block ObjBlocks read into `batch` into its steps
// and arrays, lines counted from 0 at its start, blanking the joins of continued
// lines (and a byte order mark) in its text in place. Throws only
// std::bad_alloc, the batch then half split: not to be applied. The batch is
// the caller's; the splitting keeps nothing of it.
void SplitBatch(Batch& batch);

}  // namespace vhost::models::obj
