#include "platform/LoadedModule.h"

#include <winternl.h>

#include <cstddef>

namespace ykt {

namespace {

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsFileName(const UNICODE_STRING& path, const wchar_t* name) {
    const std::size_t length = path.Length / sizeof(wchar_t);
    std::size_t start = length;
    while (start > 0 && path.Buffer[start - 1] != L'\\' && path.Buffer[start - 1] != L'/') --start;
    std::size_t i = 0;
    for (; start + i < length; ++i)
        if (name[i] == L'\0' || Lower(path.Buffer[start + i]) != Lower(name[i])) return false;
    return name[i] == L'\0';
}

// GCC 12 takes the TEB read through the segment register in NtCurrentTeb for
// an access to an empty array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const PEB* ThisProcess() { return NtCurrentTeb()->ProcessEnvironmentBlock; }
#pragma GCC diagnostic pop

}  // namespace

HMODULE LoadedModule(const wchar_t* name) {
    const PEB* peb = ThisProcess();
    if (!peb || !peb->Ldr) return nullptr;
    const LIST_ENTRY* head = &peb->Ldr->InMemoryOrderModuleList;
    for (const LIST_ENTRY* link = head->Flink; link && link != head; link = link->Flink) {
        const auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        if (entry->FullDllName.Buffer && IsFileName(entry->FullDllName, name))
            return static_cast<HMODULE>(entry->DllBase);
    }
    return nullptr;
}

}  // namespace ykt
