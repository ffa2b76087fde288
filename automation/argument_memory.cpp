// AutoWrap's argument arrays come from here. Alone in its object file: a test that links its own
// AllocateAutoWrapArguments takes the place of this one and can play an allocation failure.
#include <cstdlib>

#include "automation/dispatch.h"

void *AllocateAutoWrapArguments(size_t bytes) {
    return std::malloc(bytes);
}
