#include "journal/DeductionJournal.h"

#include <windows.h>

#include "core/card/CardTexts.h"
#include "journal/JournalSwitch.h"
#include "platform/Guard.h"

namespace ykt::journal {

DeductionJournal::DeductionJournal(std::string_view cardNumber, std::int32_t amount,
                                   const DeductionTrace& trace) noexcept
    : cardNumber_(cardNumber), amount_(amount), trace_(trace) {
    // Pairs the start with its finish: a counter of this processor, never
    // the same for two calls of one process.
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    call_ = static_cast<std::uint64_t>(counter.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentThreadId()) << 48);
}

Record DeductionJournal::Base(Event event) const {
    Record record;
    record.event = event;
    record.pid = GetCurrentProcessId();
    record.call = call_;
    if (trace_.serialMode) record.mode = *trace_.serialMode ? kSerialMode : kCodeMode;
    record.cardNumber = std::string(cardNumber_.substr(0, kCardNumberKept));
    if (cardNumber_.size() > kCardNumberKept) record.detail = "number_bytes=" + std::to_string(cardNumber_.size());
    record.amount = amount_;
    return record;
}

void DeductionJournal::Write(const Record& pending) noexcept {
    if (state_ == State::kBroken) return;
    Guarded([&] {
        Record record = pending;
        SYSTEMTIME local;
        record.time = LocalNow(local);
        if (state_ == State::kUntried) {
            // One attempt per call: a switched-off or unusable journal costs no more.
            state_ = State::kBroken;
            if (!JournalIsOn() || !file_.Open(local)) return;
            state_ = State::kOpen;
        }
        if (!file_.Append(FormatRecord(record))) state_ = State::kBroken;
    });
    if (state_ != State::kOpen) Guarded([&] { file_.Close(); });
}

void DeductionJournal::Starting(std::int32_t code) noexcept {
    started_ = true;
    code_ = code;
    Guarded([&] {
        Record record = Base(Event::kStart);
        record.cardCode = code;
        Write(record);
    });
}

void DeductionJournal::Decreased(std::int32_t result) noexcept {
    decreased_ = true;
    decreaseResult_ = result;
}

void DeductionJournal::DecreaseFaulted(unsigned long code) noexcept {
    faulted_ = true;
    fault_ = code;
}

int DeductionJournal::Finish(int hostResult, std::string_view balance, const StopReason* stop) noexcept {
    Guarded([&] {
        Record record = Base(started_ ? Event::kFinish : Event::kStop);
        record.result = hostResult;
        record.balance = std::string(balance);
        if (started_) {
            record.cardCode = code_;
            if (decreased_) {
                record.decrease = DecreaseResultText(decreaseResult_);
                record.outcome = decreaseResult_ == 1 ? Outcome::kCharged : Outcome::kRefused;
            } else {
                // Whatever ended Decrease, nobody knows whether the card was written.
                record.decrease = DecreaseFaultText(faulted_ ? fault_ : kCppExceptionCode);
                record.outcome = Outcome::kUnconfirmed;
            }
        } else {
            const StopReason why = stop ? *stop : trace_.stop.value_or(StopReason::kFault);
            record.outcome = Outcome::kStopped;
            record.detail = record.detail.empty() ? std::string(StopReasonName(why))
                                                  : std::string(StopReasonName(why)) + ";" + record.detail;
        }
        Write(record);
    });
    Guarded([&] { file_.Close(); });
    return hostResult;
}

}  // namespace ykt::journal
