// The reader key and the database password, wiped from memory when a card
// operation ends: the library lives in a till program for years, and its
// memory may end up in a crash dump that someone sends away.
#pragma once

#include <cstddef>
#include <string>

namespace ykt {

// Overwrites size bytes at data with zeros, in a way the compiler may not
// leave out because the memory is about to be freed.
inline void WipeBytes(void* data, std::size_t size) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) p[i] = 0;
}

// Wipes what the strings and blocks it was given hold when it goes out of scope.
class WipedOnExit {
public:
    WipedOnExit() = default;
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;
    ~WipedOnExit() {
        for (std::size_t i = 0; i < count_; ++i) WipeBytes(items_[i].where(), items_[i].size());
    }
    void Text(std::string& text) { Add({&text, nullptr, 0}); }
    void Bytes(void* data, std::size_t size) { Add({nullptr, data, size}); }

private:
    struct Item {
        std::string* text;
        void* data;
        std::size_t bytes;
        // A string's buffer, as it is when the scope ends.
        std::size_t size() const { return text ? text->size() : bytes; }
        void* where() const { return text ? static_cast<void*>(text->data()) : data; }
    };
    void Add(Item item) {
        if (count_ < kItems) items_[count_++] = item;
    }
    static constexpr std::size_t kItems = 8;
    Item items_[kItems]{};
    std::size_t count_ = 0;
};

}  // namespace ykt
