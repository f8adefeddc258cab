// The runtime's per-thread storage, given back when a thread ends and when the
// library is freed.
#pragma once

namespace ykt::runtime {

// Frees the calling thread's storage (the thread is ending).
void ReleaseThread();

// Frees every thread's storage and the TLS slot (the library is being freed).
void ReleaseAll();

}  // namespace ykt::runtime
