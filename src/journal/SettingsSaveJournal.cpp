#include "journal/SettingsSaveJournal.h"

#include <windows.h>

#include "core/journal/JournalRecord.h"
#include "journal/JournalFile.h"
#include "journal/JournalSwitch.h"
#include "platform/Guard.h"
#include "platform/WideText.h"

namespace ykt::journal {

namespace {

std::string WindowsUser() {
    wchar_t name[257] = {};
    DWORD size = 257;
    if (!GetUserNameW(name, &size)) return std::string();
    return FromWide(name, CP_UTF8);
}

}  // namespace

void RecordSettingsSave(const std::vector<std::pair<const char*, std::string>>& written) noexcept {
    Guarded([&] {
        if (!JournalIsOn()) return;
        SYSTEMTIME local;
        Record record;
        record.time = LocalNow(local);
        record.pid = GetCurrentProcessId();
        record.event = Event::kSettings;
        record.detail = SettingsSavedDetail(WindowsUser(), written);
        JournalFile file;
        if (file.Open(local)) file.Append(FormatRecord(record));
    });
}

}  // namespace ykt::journal
