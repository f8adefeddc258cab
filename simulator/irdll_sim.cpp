// irdll.dll simulator: a reader with one card lying on it, described by the
// state file (SimStore.h). The state file is read afresh on every call, so a
// technician can lift the card (present=0) or change the balance while a host
// runs; a deduction is written back before it is reported.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "SimCard.h"
#include "SimStore.h"

namespace {

const char* const kWho = "irdll simulator";

// What the last WT_init of this process handed over.
ykt::sim::Session g_session;

bool Tracing() { return GetEnvironmentVariableW(L"YKT_SIM_TRACE", nullptr, 0) > 0; }

int Trace(const char* call, int result) {
    if (Tracing()) {
        char line[160];
        std::snprintf(line, sizeof line, "%s -> %d (%s)", call, result, ykt::sim::ResultText(result));
        ykt::sim::Report(kWho, line);
    }
    return result;
}

// The C++ runtime must not unwind into the host.
template <class Body>
int Safely(const char* call, Body body) {
    try {
        return Trace(call, body());
    } catch (...) {
        return Trace(call, ykt::sim::kBadStateFile);
    }
}

int ReadCard(const char* call, int* serial, int* code, int* balance, int* fourth) {
    return Safely(call, [&] {
        const auto state = ykt::sim::LoadState(ykt::sim::ThisModule(), kWho);
        if (!state) return static_cast<int>(ykt::sim::kBadStateFile);
        ykt::sim::Delay(*state);
        std::int32_t values[4];
        const int result = ykt::sim::Read(g_session, *state, values);
        if (result == ykt::sim::kOk) {
            if (serial) *serial = values[0];
            if (code) *code = values[1];
            if (balance) *balance = values[2];
            if (fourth) *fourth = values[3];
        }
        return result;
    });
}

}  // namespace

extern "C" {

__declspec(dllexport) int __stdcall WT_init(int port, int rate, int sector, const unsigned char* key) {
    char call[64];
    std::snprintf(call, sizeof call, "WT_init(%d,%d,%d)", port, rate, sector);
    return Safely(call, [&] {
        g_session = ykt::sim::Session();
        g_session.open = true;
        g_session.port = port;
        g_session.rate = rate;
        g_session.sector = sector;
        if (key) std::memcpy(g_session.key.data(), key, g_session.key.size());
        const auto state = ykt::sim::LoadState(ykt::sim::ThisModule(), kWho);
        if (!state) return static_cast<int>(ykt::sim::kBadStateFile);
        ykt::sim::Delay(*state);
        return static_cast<int>(ykt::sim::kOk);
    });
}

__declspec(dllexport) int __stdcall WT_exit(void) {
    g_session.open = false;
    return Trace("WT_exit", ykt::sim::kOk);
}

__declspec(dllexport) int __stdcall ReadCardNoBeep(int* serial, int* code, int* balance, int* fourth) {
    return ReadCard("ReadCardNoBeep", serial, code, balance, fourth);
}

__declspec(dllexport) int __stdcall ReadCardBeep(int* serial, int* code, int* balance, int* fourth) {
    return ReadCard("ReadCardBeep", serial, code, balance, fourth);
}

__declspec(dllexport) int __stdcall Decrease(int code, int amount) {
    char call[64];
    std::snprintf(call, sizeof call, "Decrease(%d,%d)", code, amount);
    return Safely(call, [&] {
        const HMODULE module = ykt::sim::ThisModule();
        auto state = ykt::sim::LoadState(module, kWho);
        if (!state) return static_cast<int>(ykt::sim::kBadStateFile);
        ykt::sim::Delay(*state);
        const int result = ykt::sim::Decrease(g_session, *state, code, amount);
        if (result != ykt::sim::kOk) return result;
        // Stored before it is reported: a host that crashes after a reported
        // deduction must find it on the card.
        return ykt::sim::SaveState(module, kWho, *state) ? result : static_cast<int>(ykt::sim::kBadStateFile);
    });
}

}  // extern "C"
