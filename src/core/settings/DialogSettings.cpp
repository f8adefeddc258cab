#include "core/settings/DialogSettings.h"

#include "core/settings/DbPassword.h"
#include "core/settings/SettingsRules.h"

namespace ykt {

namespace {

// One value after another; the first that cannot be used ends the pass.
class LoadPass {
public:
    explicit LoadPass(const DialogStore& store) : store_(store) {}

    bool ok() const { return ok_; }

    void Text(const char* name, std::string& field) {
        if (!ok_) return;
        const std::optional<std::string> value = store_.Text(name);
        if (!value) {
            ok_ = false;
            return;
        }
        field = Trim(*value);
    }

    // No "0" in front and no fallback, unlike the card operations' numbers.
    void Number(const char* name, bool emptyIsZero, std::int32_t& field) {
        std::string value;
        Text(name, value);
        if (!ok_) return;
        if (value.empty() && emptyIsZero) value = "0";
        const std::optional<std::int32_t> converted = ParseInt32(value);
        if (!converted) {
            ok_ = false;
            return;
        }
        field = *converted;
    }

    void Password(const char* name, std::string& field) {
        std::string scrambled;
        Text(name, scrambled);
        if (!ok_) return;
        const std::optional<std::string> plain = DecodeDbPassword(scrambled);
        if (!plain) {
            ok_ = false;
            return;
        }
        field = *plain;
    }

private:
    const DialogStore& store_;
    bool ok_ = true;
};

const char* Flag(bool on) { return on ? "1" : "0"; }

}  // namespace

std::optional<DialogSettings> LoadDialogSettings(const DialogStore& store) {
    DialogSettings settings;
    // Nothing is written for a missing key: the store stays untouched until a save.
    if (!store.KeyExists()) return settings;
    LoadPass pass(store);
    pass.Number(setting::kPort, true, settings.iPortIndex);
    pass.Number(setting::kRate, false, settings.iRate);
    pass.Number(setting::kSector, true, settings.iSector);
    pass.Text(setting::kKey, settings.sKey);
    pass.Text(setting::kAuto, settings.sAuto);
    pass.Number(setting::kStepSec, true, settings.iStepSec);
    pass.Text(setting::kDbStatus, settings.sDbStatus);
    pass.Text(setting::kDbIpAddr, settings.sDbIpAddr);
    pass.Text(setting::kDbName, settings.sDbName);
    pass.Text(setting::kDbUser, settings.sDbUser);
    pass.Password(setting::kDbPass, settings.sDbPass);
    pass.Text(setting::kCodeOrNo, settings.sCodeOrNo);
    if (!pass.ok()) return std::nullopt;
    return settings;
}

DialogControls ControlsFor(const DialogSettings& settings) {
    DialogControls controls;
    controls.portEntry = IsListedPort(settings.iPortIndex) ? settings.iPortIndex : -1;
    controls.rate = std::to_string(settings.iRate);
    controls.sector = std::to_string(settings.iSector);
    controls.key = Trim(settings.sKey);
    controls.autoQuery = IsFlagOn(settings.sAuto);
    controls.stepSec = std::to_string(settings.iStepSec);
    controls.cardState = IsFlagOn(settings.sDbStatus);
    controls.dbIpAddr = settings.sDbIpAddr;
    controls.dbName = settings.sDbName;
    controls.dbUser = settings.sDbUser;
    controls.dbPass = settings.sDbPass;
    controls.serialNumber = IsFlagOn(settings.sCodeOrNo);
    return controls;
}

SavePlan PlanSave(const DialogControls& controls) {
    SavePlan plan;
    const std::string key = Trim(controls.key);
    if (key.size() != kKeyTextLength) {
        plan.check = SaveCheck::kKeyLength;
        return plan;
    }
    std::string stepSec = Trim(controls.stepSec);
    // An empty box, eleven digits or pasted text cannot be stored: better no
    // save than a half-written store.
    const std::optional<std::int32_t> interval = ParseInt32(stepSec);
    if (!interval) {
        plan.check = SaveCheck::kInterval;
        return plan;
    }
    if (*interval < kMinStepSec) stepSec = std::to_string(kMinStepSec);

    auto& w = plan.writes;
    // Only the selected entry counts for the port, not the text in the box.
    w.emplace_back(setting::kPort, std::to_string(controls.portEntry < 0 ? -1 : controls.portEntry));
    w.emplace_back(setting::kRate, Trim(controls.rate));
    w.emplace_back(setting::kAuto, Flag(controls.autoQuery));
    // Not converted: an empty sector box is stored as empty text.
    w.emplace_back(setting::kSector, Trim(controls.sector));
    w.emplace_back(setting::kKey, key);
    w.emplace_back(setting::kStepSec, stepSec);
    w.emplace_back(setting::kDbStatus, Flag(controls.cardState));
    // With the check off the stored database values keep what they held.
    if (controls.cardState) {
        w.emplace_back(setting::kDbIpAddr, Trim(controls.dbIpAddr));
        w.emplace_back(setting::kDbName, Trim(controls.dbName));
        w.emplace_back(setting::kDbUser, Trim(controls.dbUser));
        w.emplace_back(setting::kDbPass, EncodeDbPassword(Trim(controls.dbPass)));
    }
    w.emplace_back(setting::kCodeOrNo, Flag(controls.serialNumber));
    return plan;
}

ExitWithoutSaving ExitWithoutSavingAction(bool viewMode, bool loaded) {
    return viewMode && loaded ? ExitWithoutSaving::kSaveAsOk : ExitWithoutSaving::kClose;
}

}  // namespace ykt
