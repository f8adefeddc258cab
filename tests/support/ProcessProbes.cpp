#include "ProcessProbes.h"

namespace ykt::test {

std::size_t CommittedPrivateBytes() {
    std::size_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        char* next = static_cast<char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

int OpenHandles() {
    // Handle values are multiples of four, handed out lowest free first: the
    // scan ends after a long run of values that are not handles. (Each probe
    // is a round trip to the Wine server, which the emulated guest makes
    // slowly.)
    int count = 0;
    int misses = 0;
    for (ULONG_PTR value = 4; misses < 1024; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            misses = 0;
        } else {
            ++misses;
        }
    }
    return count;
}

}  // namespace ykt::test
