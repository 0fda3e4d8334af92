// Compiled against one library's include roots with a header of a folder
// that library may not use: the build must fail to find it.
#include NUVEXA_PROBE_HEADER
