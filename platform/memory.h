// The process's heap.
#pragma once

namespace plat {

// Hands free heap pages back to the system, after a burst of many small allocations has been
// freed (the allocator keeps them otherwise, and the process stays at its largest size).
void releaseFreeMemory();

}  // namespace plat
