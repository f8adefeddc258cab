// Each of the twelve stored values in every shape a damaged or hand-edited
// store can give it, for every card export: a result code, never a crash;
// numbers that cannot be read count as 0, text values that cannot be read
// as text fail the operation before the reader is touched.
#include <cstdio>
#include <cstring>

#include "Robust.h"

namespace ykt::test {
namespace {

using BadSettings = HostTest;
YKT_BOTH_MODES(BadSettings);

enum class Reads { AsStored, AsOtherText, Unreadable };

struct Form {
    const char* name;
    Reads reads;
    // Stores the damaged value; good is what the store held.
    void (*store)(const char* name, const std::string& good);
};

const std::string kLong(64 * 1024, '7');
const std::string kBlanks(32 * 1024, ' ');
// A lead byte without a trail byte, a trail byte out of range, bytes that
// code page 936 does not use.
const std::string kNotCp936 = std::string("\xFF\x81\x7F\x80") + "\x81";

const Form kForms[] = {
    {"missing", Reads::AsOtherText, [](const char* n, const std::string&) { DeleteSetting(n); }},
    {"empty", Reads::AsOtherText, [](const char* n, const std::string&) { SetSetting(n, ""); }},
    {"only blanks", Reads::AsOtherText, [](const char* n, const std::string&) { SetSetting(n, " \t\r\n \x1f"); }},
    {"64 KiB", Reads::AsOtherText, [](const char* n, const std::string&) { SetSetting(n, kLong); }},
    {"64 KiB of blanks around it", Reads::AsStored,
     [](const char* n, const std::string& good) { SetSetting(n, kBlanks + good + "\t" + kBlanks); }},
    {"REG_DWORD", Reads::Unreadable,
     [](const char* n, const std::string& good) {
         const DWORD value = static_cast<DWORD>(std::atoi(good.c_str()));
         SetRawSetting(n, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
     }},
    {"REG_BINARY", Reads::Unreadable, [](const char* n, const std::string& good) { SetRawSetting(n, REG_BINARY, good); }},
    {"REG_MULTI_SZ", Reads::Unreadable,
     [](const char* n, const std::string& good) { SetRawSetting(n, REG_MULTI_SZ, good + '\0' + "9" + '\0' + '\0'); }},
    {"embedded zero byte", Reads::AsStored,
     [](const char* n, const std::string& good) { SetRawSetting(n, REG_SZ, good + '\0' + "1JUNK" + '\0'); }},
    {"not code page 936", Reads::AsOtherText,
     [](const char* n, const std::string& good) { SetRawSetting(n, REG_SZ, kNotCp936 + good + '\0'); }},
};

bool ReadsText(const Variant& v, const std::string& name) {
    if (name == "YKT_KEY") return true;
    if (name == "YKT_CODEORNO") return v.which != Export::InitCom;
    if (name == "YKT_DBSATAUS" || name == "YKT_DBIPADDR" || name == "YKT_DBNAME" || name == "YKT_DBUSER" ||
        name == "YKT_DBPASS")
        return v.which == Export::ReadCardNo || v.which == Export::ReadCardBeep;
    return false;
}

// What the export must see when name holds the damaged value.
Effective EffectiveWith(const Variant& v, const std::string& name, Reads reads) {
    Effective e;
    e.stateCheck = v.stateCheck;
    e.serialMode = v.serialMode;
    if (reads == Reads::AsStored) return e;
    if (reads == Reads::Unreadable && ReadsText(v, name)) {
        e.textUnreadable = true;
        return e;
    }
    // Any other text: no number, no key of 24 characters, no "1".
    if (name == "YKT_PORT") e.port = 0;
    if (name == "YKT_RATE") e.rate = 0;
    if (name == "YKT_SECTOR") e.sector = 0;
    if (name == "YKT_KEY") e.keyOk = false;
    if (name == "YKT_DBSATAUS") e.stateCheck = false;
    if (name == "YKT_CODEORNO") e.serialMode = false;
    return e;
}

void ExpectUndisturbed(const Call& call, const Variant& v, const Effective& e) {
    const Outcome want = Undisturbed(v, e);
    EXPECT_EQ(call.result, want.result);
    if (want.output)
        EXPECT_EQ(call.output, *want.output);
    else
        EXPECT_TRUE(call.outputUntouched) << call.output;
    EXPECT_EQ(std::string(dbl_log()), LogOf(Steps(v, e)));
}

TEST_P(BadSettings, EveryValueInEveryDamagedShapeForEveryExport) {
    int tried = 0;
    std::size_t variants = 0;
    for (const Variant& v : AllVariants()) {
        // Quick: each export once, the reads with every text value in use.
        if (Quick() && std::strcmp(v.name, "vbInitCom") != 0 && std::strcmp(v.name, "vbReadCardBeep+state+serial") != 0 &&
            std::strcmp(v.name, "vbDecCard+serial") != 0)
            continue;
        ++variants;
        WriteStore(v);
        for (const char* name : kAllSettings) {
            for (const Form& form : kForms) {
                SCOPED_TRACE(std::string(v.name) + ": " + name + " " + form.name);
                form.store(name, StoredValue(v, name));
                dbl_reset();
                const Call call = CallExport(lib(), v);
                const bool keyShapeUnknown = std::strcmp(name, "YKT_KEY") == 0 && form.reads == Reads::AsOtherText &&
                                             std::strcmp(form.name, "not code page 936") == 0;
                if (!keyShapeUnknown) {
                    ExpectUndisturbed(call, v, EffectiveWith(v, name, form.reads));
                } else {
                    // How the registry converts bytes outside the code page
                    // decides whether 24 characters come back; either way the
                    // operation is whole.
                    Effective e;
                    e.stateCheck = v.stateCheck;
                    e.serialMode = v.serialMode;
                    if (Log().empty()) {
                        EXPECT_EQ(call.result, 1);
                    } else {
                        EXPECT_EQ(Log().substr(0, 17), "WT_init(2,9600,7,");
                        EXPECT_EQ(Log().substr(Log().size() - 8), "WT_exit\n");
                    }
                }
                EXPECT_EQ(call.registersChanged, 0u);
                ++tried;
                SetSetting(name, StoredValue(v, name));
            }
        }
        // No store at all.
        SCOPED_TRACE(std::string(v.name) + ": no settings key");
        DeleteSettings();
        dbl_reset();
        Effective none;
        none.keyOk = false;
        ExpectUndisturbed(CallExport(lib(), v), v, none);
        ++tried;
    }
    std::printf("[ figures  ] %s: %d damaged stores tried (12 values x %zu shapes x %zu exports + missing key)\n",
                ModeName(GetParam()), tried, std::size(kForms), variants);
}

}  // namespace
}  // namespace ykt::test
