// The settings dialog's rules without its window: the twelve values it holds,
// how the one read pass turns stored texts into them, what the controls show
// for them, and what a save writes from what the controls hold. The window
// only moves these values in and out of its controls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/settings/SettingsStore.h"

namespace ykt {

// The twelve values as the load step obtained them (texts in the ANSI code
// page). The initial values are the defaults of a store that has no key.
struct DialogSettings {
    std::int32_t iPortIndex = 0;
    std::int32_t iRate = 9600;
    std::int32_t iSector = 7;
    std::string sKey = kDefaultKey;
    std::string sAuto = "0";
    std::int32_t iStepSec = 1500;
    std::string sDbStatus = "0";
    std::string sDbIpAddr;
    std::string sDbName;
    std::string sDbUser;
    std::string sDbPass;  // plain, unscrambled
    std::string sCodeOrNo = "0";
};

// The store as the load sees it: one pass over the key.
class DialogStore {
public:
    virtual ~DialogStore() = default;
    virtual bool KeyExists() const = 0;
    // The value as stored, untrimmed; empty when missing; nullopt when it
    // cannot be read as text.
    virtual std::optional<std::string> Text(const char* name) const = 0;
};

// Reads the twelve values in the store's order. A missing key gives the
// defaults; a value that cannot be used (unreadable, a number that does not
// convert, an undecodable password) stops the load there: nullopt, and no
// later value is read.
std::optional<DialogSettings> LoadDialogSettings(const DialogStore& store);

// What the controls hold, in the ANSI code page: texts as the boxes show them.
struct DialogControls {
    std::int32_t portEntry = -1;  // selected entry of the port box; -1 none
    std::string rate;             // the rate box's text
    std::string sector;
    std::string key;
    bool autoQuery = false;
    std::string stepSec;
    bool cardState = false;  // the card-state check; also enables the four database boxes
    std::string dbIpAddr;
    std::string dbName;
    std::string dbUser;
    std::string dbPass;
    bool serialNumber = false;  // rbOrder selected rather than rbCode
};

// What the controls show for loaded values. The rate box selects the entry of
// that text when there is one; a port outside the list selects no entry.
DialogControls ControlsFor(const DialogSettings& settings);

enum class SaveCheck {
    kReady,
    kKeyLength,  // the trimmed key is not 24 characters long: nothing happens
    kInterval,   // the interval does not convert: it cannot be stored
};

struct SavePlan {
    SaveCheck check = SaveCheck::kReady;
    // Name and value, in the order they are written; empty unless ready.
    std::vector<std::pair<const char*, std::string>> writes;
};

// The interval never goes below this: a smaller number is saved (and shown) as it.
inline constexpr std::int32_t kMinStepSec = 1000;

// The checks before a save and the values it writes, from what the controls
// hold: the port as its entry index ("-1" for none), texts trimmed, the
// interval mended to the floor, the four database values only when the
// card-state check is on, the password scrambled.
SavePlan PlanSave(const DialogControls& controls);

// What "不保存退出" does. In edit mode it closes without writing. In view
// mode it saves as "保存并退出" does, but only when the controls show what
// the store held: after a load that stopped, they show the layout's values,
// and saving them would overwrite the store with defaults (the default key,
// port "-1", the card-state check off) at a click on "exit without saving".
enum class ExitWithoutSaving {
    kSaveAsOk,  // as a click on "保存并退出", key check and all
    kClose,     // close, nothing written
};
ExitWithoutSaving ExitWithoutSavingAction(bool viewMode, bool loaded);

}  // namespace ykt
