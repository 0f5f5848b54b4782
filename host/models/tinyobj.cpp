// The one home of tinyobjloader's implementation. TINYOBJLOADER_USE_DOUBLE comes
// from the build, for every file that includes the header alike.
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
