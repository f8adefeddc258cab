// The host runtime's reference-counted strings, as they cross the boundary:
// the pointer addresses the first character; the eight bytes in front hold
// the reference count and the length (two int32); a zero byte follows the
// text. Null is the empty string; a count of -1 marks a constant.
#pragma once

#include <string>
#include <string_view>

namespace ykt::host {

// Called once when the library attaches: adopts the allocator of borlndmm.dll
// when that module is loaded in the process, else uses the process heap.
void AdoptAllocator();

// A fresh string with count 1; null for empty text. Throws std::bad_alloc.
char* NewString(std::string_view text);

// Drops one reference; frees the block when none is left. Constants and null
// are left alone.
void Release(char* text);

// Stores a fresh copy of text in the caller's variable, releasing what it held.
void Assign(char** variable, std::string_view text);

// As Assign, but nothing escapes: false when the copy could not be made or
// the variable could not be written (allocator out of memory or faulting, a
// variable that is not writable); the variable then keeps what it holds.
bool TryAssign(char** variable, std::string_view text) noexcept;

// An input string held for the duration of a call: one reference is taken on
// entry and dropped on return, as the host expects.
class InputString {
public:
    explicit InputString(char* text);
    ~InputString();
    InputString(const InputString&) = delete;
    InputString& operator=(const InputString&) = delete;
    std::string_view View() const;

private:
    char* text_;
};

}  // namespace ykt::host
