#include "platform/memory.h"

#include <malloc.h>

namespace plat {

void releaseFreeMemory() {
    (void)malloc_trim(0);
}

}  // namespace plat
