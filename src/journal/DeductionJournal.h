// The records of one vbDecCard call: a start record written and flushed just
// before Decrease, and a finish record with the outcome before the call
// returns; or, for a call that ends before Decrease, one stop record naming
// why. Nothing touches the disk before the first record. The journal never
// changes a result: every member swallows whatever goes wrong, C++ exception
// or fault, and after the first failure the call writes nothing more.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/card/CardOperations.h"
#include "core/journal/JournalRecord.h"
#include "journal/JournalFile.h"

namespace ykt::journal {

class DeductionJournal {
public:
    // The card number as the host passed it; it must outlive the journal.
    DeductionJournal(std::string_view cardNumber, std::int32_t amount, const DeductionTrace& trace) noexcept;
    DeductionJournal(const DeductionJournal&) = delete;
    DeductionJournal& operator=(const DeductionJournal&) = delete;

    // Just before Decrease(code, ...): the start record, flushed.
    void Starting(std::int32_t code) noexcept;
    void Decreased(std::int32_t result) noexcept;
    void DecreaseFaulted(unsigned long code) noexcept;

    // Before the call returns with hostResult and the host's balance text:
    // the finish record of a started deduction, else the stop record (the
    // reason given, else the trace's, else an error before Decrease).
    // Returns hostResult.
    int Finish(int hostResult, std::string_view balance, const StopReason* stop = nullptr) noexcept;

private:
    enum class State { kUntried, kOpen, kBroken };
    Record Base(Event event) const;
    void Write(const Record& record) noexcept;

    std::string_view cardNumber_;
    std::int32_t amount_;
    const DeductionTrace& trace_;
    std::uint64_t call_ = 0;
    bool started_ = false;
    std::int32_t code_ = 0;
    bool decreased_ = false;
    std::int32_t decreaseResult_ = 0;
    bool faulted_ = false;
    unsigned long fault_ = 0;
    State state_ = State::kUntried;
    JournalFile file_;
};

}  // namespace ykt::journal
