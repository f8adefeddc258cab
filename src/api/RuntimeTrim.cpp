// The static C++ runtime, without what no path of the library needs. Each
// definition here stands in for one the runtime would otherwise pull in with
// a large part of itself; should any code come to need the original, the
// link fails with a duplicate definition instead of silently going on.
#include <windows.h>

#include <random>
#include <string>

#include "platform/Guard.h"

namespace {
// What the runtime would answer with abort(). The library is a guest: it
// must not end the host's process, perhaps right after a card was charged.
// A non-continuable structured exception instead ends the call at the
// export's guard, which returns a result code (0 once the card is charged).
[[noreturn]] void EndTheCallNotTheHost() {
    for (;;) RaiseException(ykt::kRuntimeAbortCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}
}  // namespace

namespace __gnu_cxx {
// The default terminate handler prints the demangled type of the exception
// before it aborts; its demangler and MinGW's printf behind it are a fifth of
// the library. Nothing should get there (every export catches at its
// boundary, and a till has no console to print to); should a runtime path
// still call std::terminate, the export's guard ends the call.
void __verbose_terminate_handler() { EndTheCallNotTheHost(); }
}  // namespace __gnu_cxx

namespace std {
// Reached only from std::random_device, which the library does not use; the
// runtime's copy-on-write strings (behind std::logic_error and its kin)
// refer to it, and with it to every member of std::string.
void random_device::_M_init(const char*, size_t) { EndTheCallNotTheHost(); }
}  // namespace std

// The two members of std::string that the runtime's exception classes call
// out of line, instantiated here: otherwise they come with the runtime's
// instantiation of every member of std::string.
template std::string::pointer std::string::_M_create(std::string::size_type&, std::string::size_type);
template void std::string::_M_assign(const std::string&);
