// The settings dialog's rules without its window: the one read pass, what the
// controls show for the values, and what a save writes from what they hold.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/settings/DialogSettings.h"

using namespace ykt;
namespace s = ykt::setting;

namespace {

class FakeStore : public DialogStore {
public:
    bool exists = true;
    std::map<std::string, std::string> values;
    std::set<std::string> unreadable;  // stored under a type that is not text
    mutable std::vector<std::string> reads;

    bool KeyExists() const override { return exists; }
    std::optional<std::string> Text(const char* name) const override {
        reads.push_back(name);
        if (unreadable.count(name)) return std::nullopt;
        const auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

const std::vector<std::string> kReadOrder = {s::kPort,     s::kRate,     s::kSector, s::kKey,    s::kAuto,   s::kStepSec,
                                             s::kDbStatus, s::kDbIpAddr, s::kDbName, s::kDbUser, s::kDbPass, s::kCodeOrNo};

std::string Describe(const DialogSettings& d) {
    return std::to_string(d.iPortIndex) + "|" + std::to_string(d.iRate) + "|" + std::to_string(d.iSector) + "|" +
           d.sKey + "|" + d.sAuto + "|" + std::to_string(d.iStepSec) + "|" + d.sDbStatus + "|" + d.sDbIpAddr + "|" +
           d.sDbName + "|" + d.sDbUser + "|" + d.sDbPass + "|" + d.sCodeOrNo;
}

const char* const kDefaults = "0|9600|7|5A3C96E1B74D2F08C5A17E39|0|1500|0|||||0";

TEST(DialogLoad, MissingKeyGivesTheDefaultsWithoutReadingAValue) {
    FakeStore store;
    store.exists = false;
    const std::optional<DialogSettings> loaded = LoadDialogSettings(store);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Describe(*loaded), kDefaults);
    EXPECT_TRUE(store.reads.empty());
}

TEST(DialogLoad, ReadsTheTwelveValuesOnceInTheStoresOrder) {
    FakeStore store;
    store.values = {{s::kPort, " 3 "},       {s::kRate, "\t19200"},   {s::kSector, "012"},    {s::kKey, " K "},
                    {s::kAuto, "1 "},        {s::kStepSec, "01500"},  {s::kDbStatus, " 1"},   {s::kDbIpAddr, " 10.1.2.3 "},
                    {s::kDbName, "ykt "},    {s::kDbUser, " sa"},     {s::kDbPass, " 340334043407 "}, {s::kCodeOrNo, "1"}};
    const std::optional<DialogSettings> loaded = LoadDialogSettings(store);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Describe(*loaded), "3|19200|12|K|1|1500|1|10.1.2.3|ykt|sa|abc|1");
    EXPECT_EQ(store.reads, kReadOrder);
}

TEST(DialogLoad, EmptyValuesOfAnExistingKey) {
    FakeStore store;
    store.values = {{s::kRate, "9600"}};  // the rate alone has no substitute for empty text
    const std::optional<DialogSettings> loaded = LoadDialogSettings(store);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Describe(*loaded), "0|9600|0|||0||||||");
}

// The first value that cannot be used ends the pass: nothing after it is read.
TEST(DialogLoad, AnUnusableValueStopsTheLoadThere) {
    struct Case {
        const char* name;
        std::optional<std::string> value;  // nullopt: stored under another type
    };
    const Case cases[] = {
        {s::kPort, "x"},          {s::kPort, "99999999999"}, {s::kPort, "+"},     {s::kPort, std::nullopt},
        {s::kRate, ""},           {s::kRate, "96O0"},        {s::kRate, " "},     {s::kSector, "-"},
        {s::kSector, "7 7"},      {s::kKey, std::nullopt},   {s::kAuto, std::nullopt}, {s::kStepSec, "1.5"},
        {s::kStepSec, "0x10"},    {s::kDbStatus, std::nullopt}, {s::kDbIpAddr, std::nullopt},
        {s::kDbName, std::nullopt}, {s::kDbUser, std::nullopt}, {s::kDbPass, "12a4"},
        {s::kDbPass, std::nullopt}, {s::kCodeOrNo, std::nullopt},
    };
    for (const Case& c : cases) {
        FakeStore store;
        store.values = {{s::kRate, "9600"}};
        if (c.value)
            store.values[c.name] = *c.value;
        else
            store.unreadable.insert(c.name);
        const std::string label = std::string(c.name) + "=" + (c.value ? "\"" + *c.value + "\"" : "(not text)");
        EXPECT_FALSE(LoadDialogSettings(store)) << label;
        ASSERT_FALSE(store.reads.empty()) << label;
        EXPECT_EQ(store.reads.back(), c.name) << label << ": the pass went on";
    }
}

TEST(DialogLoad, NumbersKeepTheirSignAndRange) {
    const struct {
        const char* stored;
        std::int32_t port;
    } cases[] = {{"-1", -1}, {"+4", 4}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"007", 7}};
    for (const auto& c : cases) {
        FakeStore store;
        store.values = {{s::kRate, "9600"}, {s::kPort, c.stored}};
        const std::optional<DialogSettings> loaded = LoadDialogSettings(store);
        ASSERT_TRUE(loaded) << c.stored;
        EXPECT_EQ(loaded->iPortIndex, c.port) << c.stored;
    }
}

TEST(DialogShow, WhatTheControlsShow) {
    const struct {
        std::int32_t port;
        std::int32_t expectedEntry;
    } ports[] = {{0, 0}, {3, 3}, {9, 9}, {10, -1}, {12, -1}, {-1, -1}, {-2147483647 - 1, -1}};
    for (const auto& p : ports) {
        DialogSettings settings;
        settings.iPortIndex = p.port;
        EXPECT_EQ(ControlsFor(settings).portEntry, p.expectedEntry) << "port " << p.port;
    }

    const DialogControls defaults = ControlsFor(DialogSettings{});
    EXPECT_EQ(defaults.portEntry, 0);
    EXPECT_EQ(defaults.rate, "9600");
    EXPECT_EQ(defaults.sector, "7");
    EXPECT_EQ(defaults.key, "5A3C96E1B74D2F08C5A17E39");
    EXPECT_FALSE(defaults.autoQuery);
    EXPECT_EQ(defaults.stepSec, "1500");
    EXPECT_FALSE(defaults.cardState);
    EXPECT_EQ(defaults.dbIpAddr + defaults.dbName + defaults.dbUser + defaults.dbPass, "");
    EXPECT_FALSE(defaults.serialNumber);

    // Flags are exact comparisons with "1"; the database texts show whatever the check says.
    for (const char* flag : {"Y", "true", "2", "", "01", "1 "}) {
        DialogSettings settings;
        settings.sAuto = settings.sDbStatus = settings.sCodeOrNo = flag;
        const DialogControls shown = ControlsFor(settings);
        EXPECT_FALSE(shown.autoQuery || shown.cardState || shown.serialNumber) << '"' << flag << '"';
    }
    DialogSettings on;
    on.sAuto = on.sDbStatus = on.sCodeOrNo = "1";
    on.iRate = 300;
    on.iSector = -5;
    on.iStepSec = 999;
    on.sDbIpAddr = "host";
    on.sDbPass = "pw";
    const DialogControls shown = ControlsFor(on);
    EXPECT_TRUE(shown.autoQuery && shown.cardState && shown.serialNumber);
    EXPECT_EQ(shown.rate, "300");
    EXPECT_EQ(shown.sector, "-5");
    EXPECT_EQ(shown.stepSec, "999") << "the floor is a save rule, not a load rule";
    EXPECT_EQ(shown.dbIpAddr, "host");
    EXPECT_EQ(shown.dbPass, "pw");
}

using Writes = std::vector<std::pair<std::string, std::string>>;

Writes WritesOf(const SavePlan& plan) {
    Writes out;
    for (const auto& [name, value] : plan.writes) out.emplace_back(name, value);
    return out;
}

DialogControls DefaultControls() { return ControlsFor(DialogSettings{}); }

TEST(DialogSave, TheDefaultsAreWrittenInTheStoresOrderWithoutTheDatabaseValues) {
    const SavePlan plan = PlanSave(DefaultControls());
    EXPECT_EQ(plan.check, SaveCheck::kReady);
    const Writes expected = {{s::kPort, "0"},     {s::kRate, "9600"},    {s::kAuto, "0"},
                             {s::kSector, "7"},   {s::kKey, "5A3C96E1B74D2F08C5A17E39"},
                             {s::kStepSec, "1500"}, {s::kDbStatus, "0"}, {s::kCodeOrNo, "0"}};
    EXPECT_EQ(WritesOf(plan), expected);
}

TEST(DialogSave, CardStateCheckOnWritesTheFourDatabaseValuesScrambled) {
    DialogControls held = DefaultControls();
    held.cardState = true;
    held.dbIpAddr = " 10.1.2.3 ";
    held.dbName = "ykt";
    held.dbUser = "sa ";
    held.dbPass = " abc ";
    held.serialNumber = true;
    held.autoQuery = true;
    const Writes expected = {{s::kPort, "0"},       {s::kRate, "9600"},      {s::kAuto, "1"},
                             {s::kSector, "7"},     {s::kKey, "5A3C96E1B74D2F08C5A17E39"},
                             {s::kStepSec, "1500"}, {s::kDbStatus, "1"},     {s::kDbIpAddr, "10.1.2.3"},
                             {s::kDbName, "ykt"},   {s::kDbUser, "sa"},      {s::kDbPass, "340334043407"},
                             {s::kCodeOrNo, "1"}};
    EXPECT_EQ(WritesOf(PlanSave(held)), expected);

    held.dbIpAddr = held.dbName = held.dbUser = held.dbPass = "";
    const Writes plan = WritesOf(PlanSave(held));
    ASSERT_EQ(plan.size(), expected.size());
    for (std::size_t i = 7; i < 11; ++i) EXPECT_EQ(plan[i].second, "") << plan[i].first;
}

// One control's text against the value a save writes for it.
TEST(DialogSave, ValuesAsWritten) {
    struct Case {
        const char* label;
        void (*set)(DialogControls&);
        const char* name;
        const char* written;
    };
    const Case cases[] = {
        {"no port entry", [](DialogControls& c) { c.portEntry = -1; }, s::kPort, "-1"},
        {"port entry 9", [](DialogControls& c) { c.portEntry = 9; }, s::kPort, "9"},
        {"rate between spaces", [](DialogControls& c) { c.rate = " 9600 "; }, s::kRate, "9600"},
        {"unlisted rate", [](DialogControls& c) { c.rate = "300"; }, s::kRate, "300"},
        {"empty sector", [](DialogControls& c) { c.sector = ""; }, s::kSector, ""},
        {"sector with a zero", [](DialogControls& c) { c.sector = "012"; }, s::kSector, "012"},
        {"key between spaces", [](DialogControls& c) { c.key = "  5A3C96E1B74D2F08C5A17E39 "; }, s::kKey,
         "5A3C96E1B74D2F08C5A17E39"},
        {"interval 999", [](DialogControls& c) { c.stepSec = "999"; }, s::kStepSec, "1000"},
        {"interval 0999", [](DialogControls& c) { c.stepSec = "0999"; }, s::kStepSec, "1000"},
        {"interval 0", [](DialogControls& c) { c.stepSec = "0"; }, s::kStepSec, "1000"},
        {"negative interval", [](DialogControls& c) { c.stepSec = "-5"; }, s::kStepSec, "1000"},
        {"interval 1000", [](DialogControls& c) { c.stepSec = "1000"; }, s::kStepSec, "1000"},
        {"interval 01500", [](DialogControls& c) { c.stepSec = "01500"; }, s::kStepSec, "01500"},
        {"interval at the limit", [](DialogControls& c) { c.stepSec = "2147483647"; }, s::kStepSec, "2147483647"},
    };
    for (const Case& c : cases) {
        DialogControls held = DefaultControls();
        c.set(held);
        const SavePlan plan = PlanSave(held);
        ASSERT_EQ(plan.check, SaveCheck::kReady) << c.label;
        std::optional<std::string> written;
        for (const auto& [name, value] : plan.writes)
            if (std::string(name) == c.name) written = value;
        ASSERT_TRUE(written) << c.label;
        EXPECT_EQ(*written, c.written) << c.label;
    }
}

TEST(DialogSave, ChecksBeforeASave) {
    struct Case {
        std::string key;
        std::string stepSec;
        SaveCheck check;
    };
    const std::string key = "5A3C96E1B74D2F08C5A17E39";
    const Case cases[] = {
        {key.substr(0, 23), "1500", SaveCheck::kKeyLength},
        {key + "ABCDEF", "1500", SaveCheck::kKeyLength},
        {"", "1500", SaveCheck::kKeyLength},
        {" " + key.substr(0, 23) + " ", "1500", SaveCheck::kKeyLength},
        {key.substr(0, 23), "", SaveCheck::kKeyLength},  // the key is looked at first
        {key, "", SaveCheck::kInterval},
        {key, "21474836470", SaveCheck::kInterval},
        {key, "2147483648", SaveCheck::kInterval},
        {key, "1.5", SaveCheck::kInterval},
        {key, "15 00", SaveCheck::kInterval},
        {"\t" + key + "  ", " 1500 ", SaveCheck::kReady},
    };
    for (const Case& c : cases) {
        DialogControls held = DefaultControls();
        held.key = c.key;
        held.stepSec = c.stepSec;
        const SavePlan plan = PlanSave(held);
        EXPECT_EQ(plan.check, c.check) << '"' << c.key << "\" / \"" << c.stepSec << '"';
        if (c.check != SaveCheck::kReady) {
            EXPECT_TRUE(plan.writes.empty()) << "nothing is written";
        }
    }
}

// "不保存退出" saves only in view mode and only what the store held; a load
// that stopped leaves the layout's values in the controls.
TEST(DialogExit, WithoutSavingSavesOnlyALoadedStoreInViewMode) {
    const struct {
        bool viewMode, loaded;
        ExitWithoutSaving expected;
    } cases[] = {
        {true, true, ExitWithoutSaving::kSaveAsOk},
        {true, false, ExitWithoutSaving::kClose},
        {false, true, ExitWithoutSaving::kClose},
        {false, false, ExitWithoutSaving::kClose},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExitWithoutSavingAction(c.viewMode, c.loaded), c.expected)
            << "view mode " << c.viewMode << ", loaded " << c.loaded;
}

}  // namespace
