#include "journal/JournalSwitch.h"

#include "core/settings/SettingsStore.h"
#include "settings/RegistrySettings.h"

namespace ykt::journal {

bool JournalIsOn() { return ReadLibSetting(setting::kJournal) != "0"; }

}  // namespace ykt::journal
