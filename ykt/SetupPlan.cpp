#include "Setup.h"

#include "core/settings/DialogSettings.h"

namespace ykt::setup {

std::vector<std::pair<const char*, std::string>> MissingDefaults(const std::function<bool(const char* name)>& present) {
    // The dialog's own defaults, through its own save: one source for both.
    const SavePlan plan = PlanSave(ControlsFor(DialogSettings{}));
    std::vector<std::pair<const char*, std::string>> missing;
    for (const auto& write : plan.writes)
        if (!present(write.first)) missing.push_back(write);
    return missing;
}

}  // namespace ykt::setup
