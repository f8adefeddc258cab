// The runtime's per-thread storage: taken when the library is attached and
// made sure of before any work on a thread, so that no exception can find it
// missing; given back when a thread ends and when the library is freed.
#pragma once

namespace ykt::runtime {

// At DLL_PROCESS_ATTACH: takes the TLS slot and gives the loading thread its
// storage. False when Windows has no slot or no memory left; nothing is then
// left behind, and the load must fail.
bool AttachThreadStorage() noexcept;

// At every export's entry: true when the calling thread has storage for every
// thread-local object the runtime has used, creating it if need be. False
// (never an abort) when it cannot be had: the export must then fail before it
// does any work.
bool EnsureThreadStorage() noexcept;

// Frees the calling thread's storage (the thread is ending).
void ReleaseThread() noexcept;

// Frees every thread's storage and the TLS slot (the library is being freed).
void ReleaseAll() noexcept;

}  // namespace ykt::runtime
