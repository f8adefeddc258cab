// What a test sees of its own process from the outside: committed private
// memory and open handles, the figures a leak shows in.
#pragma once

#include <windows.h>

#include <cstddef>

namespace ykt::test {

// Committed private memory, summed over the address space.
std::size_t CommittedPrivateBytes();

// Open handles of this process, found by probing every handle value with
// GetHandleInformation (Wine answers GetProcessHandleCount with 0).
int OpenHandles();

}  // namespace ykt::test
