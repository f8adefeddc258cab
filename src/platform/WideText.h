// Conversions between byte strings of a code page and Windows' UTF-16, for
// the dialog (the system's ANSI code page), the console host and the
// simulator (UTF-8 and code page 936).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace ykt {

inline std::wstring ToWide(std::string_view text, UINT codePage) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

inline std::string FromWide(std::wstring_view text, UINT codePage) {
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

}  // namespace ykt
