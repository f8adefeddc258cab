// Journal lines: any line either is refused or parses to a record that
// formats to a line parsing to the same record; any record formats to one
// line of printable ASCII that parses back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/journal/JournalRecord.h"

using namespace ykt::journal;

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

std::string Take(const std::uint8_t*& data, std::size_t& size, std::size_t most) {
    const std::size_t n = size == 0 ? 0 : std::min<std::size_t>(data[0] % (most + 1), size - 1);
    if (size == 0) return {};
    std::string text(reinterpret_cast<const char*>(data + 1), n);
    data += n + 1;
    size -= n + 1;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    if (const auto parsed = ParseRecord(line)) {
        const std::string again = FormatRecord(*parsed);
        const auto back = ParseRecord(again);
        Require(back && FormatRecord(*back) == again);
    }
    ReadBook(line);

    if (size < 16) return 0;
    Record r;
    std::int32_t numbers[3];
    std::memcpy(numbers, data, sizeof numbers);
    r.time = {2000 + data[12] % 100, 1 + data[13] % 12, 1 + data[14] % 28, data[15] % 24, 59, 59, 999};
    r.pid = static_cast<std::uint32_t>(numbers[0]);
    r.call = static_cast<std::uint64_t>(numbers[1]) * 2654435761u;
    r.event = static_cast<Event>(data[12] % 4);
    r.outcome = static_cast<Outcome>(data[13] % 5);
    if (data[14] & 1) r.cardCode = numbers[0];
    if (data[14] & 2) r.amount = numbers[1];
    if (data[14] & 4) r.result = numbers[2];
    data += 16;
    size -= 16;
    r.mode = Take(data, size, 8);
    r.cardNumber = Take(data, size, kCardNumberKept);
    r.decrease = Take(data, size, 20);
    r.balance = Take(data, size, 20);
    r.detail = Take(data, size, 200);
    const std::string formatted = FormatRecord(r);
    for (std::size_t i = 0; i + 2 < formatted.size(); ++i)
        Require(static_cast<unsigned char>(formatted[i]) >= 0x20 && static_cast<unsigned char>(formatted[i]) < 0x7F);
    const auto back = ParseRecord(formatted);
    Require(back && back->cardNumber == r.cardNumber && back->detail == r.detail && back->balance == r.balance &&
            back->mode == r.mode && back->decrease == r.decrease && back->cardCode == r.cardCode &&
            back->amount == r.amount && back->result == r.result && back->pid == r.pid && back->call == r.call &&
            FormatRecord(*back) == formatted);
    return 0;
}
