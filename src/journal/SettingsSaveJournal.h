// The settings dialog's save leaves one record: the values it wrote (the key
// and the database password by name only) and the Windows user who saved.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ykt::journal {

// Never fails and never throws: a journal that cannot be written changes
// nothing about the save.
void RecordSettingsSave(const std::vector<std::pair<const char*, std::string>>& written) noexcept;

}  // namespace ykt::journal
