// The static runtime's semaphores, closed when the library is freed.
#pragma once

namespace ykt::runtime {

// Closes every semaphore the runtime created and has not closed.
void CloseRuntimeHandles();

}  // namespace ykt::runtime
