// The dialog as laid out: its controls, their places, texts, fonts and
// colours, the window itself, and how the focus moves through it.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "DialogDriver.h"
#include "core/card/CardOperations.h"

namespace ykt::test {
namespace {

using namespace ykt::dialog;

const COLORREF kNavy = RGB(0, 0, 128);
const COLORREF kFuchsia = RGB(255, 0, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kNotTested = 0xFFFFFFFF;

enum class Sub { None, Push, Group, Check, Radio, DropDown, Left, Right };

struct Expected {
    ControlId id;
    const wchar_t* cls;
    Sub sub;
    ControlId parent;
    int left, top, width, height;
    const wchar_t* text;
    COLORREF colour;
    bool enabled;
};

// clang-format off
const Expected kLayout[] = {
    {idPanel1,    L"TPanel",     Sub::None,     kForm,       0,   314, 436, 45,  L"",                                   kNotTested, true},
    {idBtMod,     L"Button",     Sub::Push,     idPanel1,    16,  8,   75,  25,  L"修改",                               kNotTested, true},
    {idBtOk,      L"Button",     Sub::Push,     idPanel1,    232, 8,   91,  25,  L"保存并退出",                         kNotTested, true},
    {idBtCancel,  L"Button",     Sub::Push,     idPanel1,    328, 8,   91,  25,  L"不保存退出",                         kNotTested, true},
    {idPanel2,    L"TPanel",     Sub::None,     kForm,       0,   0,   436, 314, L"Panel2",                             kNotTested, true},
    {idScrollBox, L"TScrollBox", Sub::None,     idPanel2,    4,   4,   428, 306, L"",                                   kNotTested, true},
    {idGrbEdit,   L"Button",     Sub::Group,    idScrollBox, 8,   0,   409, 305, L"",                                   kFuchsia,   false},
    {idLabel3,    L"Static",     Sub::Right,    idGrbEdit,   24,  21,  153, 13,  L"通信COM端口",                        kNavy,      true},
    {idCbbPort,   L"ComboBox",   Sub::DropDown, idGrbEdit,   176, 16,  73,  20,  L"1",                                  kBlack,     true},
    {idLabel5,    L"Static",     Sub::Right,    idGrbEdit,   46,  46,  131, 13,  L"通讯波特率",                         kNavy,      true},
    {idCbbRate,   L"ComboBox",   Sub::DropDown, idGrbEdit,   176, 40,  73,  20,  L"9600",                               kBlack,     true},
    {idLabel2,    L"Static",     Sub::Right,    idGrbEdit,   24,  70,  153, 13,  L"扇区号",                             kNavy,      true},
    {idEdSector,  L"Edit",       Sub::None,     idGrbEdit,   176, 64,  73,  20,  L"7",                                  kBlack,     true},
    {idLabel6,    L"Static",     Sub::Right,    idGrbEdit,   24,  94,  153, 13,  L"通信密码",                           kNavy,      true},
    {idEdPassKey, L"Edit",       Sub::None,     idGrbEdit,   176, 88,  153, 20,  L"5A3C96E1B74D2F08C5A17E39",           kBlack,     true},
    {idLabel16,   L"Static",     Sub::Right,    idGrbEdit,   46,  114, 131, 13,  L"自动查询读卡器",                     kNavy,      true},
    {idCbAuto,    L"Button",     Sub::Check,    idGrbEdit,   176, 112, 225, 17,  L"不打钩时，按[F1]或[F12]才读读卡器",  kBlack,     true},
    {idLabel4,    L"Static",     Sub::Left,     idGrbEdit,   194, 130, 216, 12,  L"打勾时，将对系统操作速度有少许影响。", kBlack,   true},
    {idLabel7,    L"Static",     Sub::Right,    idGrbEdit,   24,  158, 153, 13,  L"自动查询方式时的查询间隔",           kNavy,      true},
    {idEdStepSec, L"Edit",       Sub::None,     idGrbEdit,   176, 152, 73,  20,  L"1500",                               kBlack,     true},
    {idLabel1,    L"Static",     Sub::Left,     idGrbEdit,   248, 160, 108, 12,  L"毫秒，应>=1000毫秒",                 kBlack,     true},
    {idLabel8,    L"Static",     Sub::Right,    idGrbEdit,   46,  186, 131, 13,  L"读取一卡通卡的状态",                 kNavy,      true},
    {idCbStatus,  L"Button",     Sub::Check,    idGrbEdit,   176, 184, 225, 17,  L"",                                   kBlack,     true},
    {idLabel9,    L"Static",     Sub::Right,    idGrbEdit,   8,   214, 169, 13,  L"一卡通服务器IP地址或计算机名",       kNavy,      true},
    {idEdIP,      L"Edit",       Sub::None,     idGrbEdit,   176, 208, 153, 20,  L"",                                   kBlack,     true},
    {idLabel12,   L"Static",     Sub::Right,    idGrbEdit,   24,  238, 153, 13,  L"数据库名称",                         kNavy,      true},
    {idEdName,    L"Edit",       Sub::None,     idGrbEdit,   176, 232, 153, 20,  L"",                                   kBlack,     true},
    {idLabel10,   L"Static",     Sub::Right,    idGrbEdit,   24,  262, 153, 13,  L"数据库用户",                         kNavy,      true},
    {idEdUser,    L"Edit",       Sub::None,     idGrbEdit,   176, 256, 153, 20,  L"",                                   kBlack,     true},
    {idLabel11,   L"Static",     Sub::Right,    idGrbEdit,   24,  286, 153, 13,  L"数据库密码",                         kNavy,      true},
    {idEdPass,    L"Edit",       Sub::None,     idGrbEdit,   176, 280, 153, 20,  L"",                                   kBlack,     true},
    {idGroupBox1, L"Button",     Sub::Group,    idGrbEdit,   272, 16,  121, 65,  L"",                                   kFuchsia,   true},
    {idRbCode,    L"Button",     Sub::Radio,    idGroupBox1, 16,  16,  89,  17,  L"读取卡编号",                         kNavy,      true},
    {idRbOrder,   L"Button",     Sub::Radio,    idGroupBox1, 16,  40,  89,  17,  L"读取卡序号",                         kNavy,      true},
};
// clang-format on

// The two labels sized to their text: the table gives their measures in
// SimSun at 96 DPI; with another face they take their text's extent.
bool SizedToText(ControlId id) { return id == idLabel1 || id == idLabel4; }

// A control's text as its font draws it.
SIZE TextExtent(HWND control) {
    wchar_t text[256] = {};
    const int length = GetWindowTextW(control, text, 256);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, length, &extent);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return extent;
}

bool SubKindMatches(HWND control, Sub sub) {
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    switch (sub) {
        case Sub::None: return true;
        case Sub::Push: return (style & BS_TYPEMASK) == BS_PUSHBUTTON;
        case Sub::Group: return (style & BS_TYPEMASK) == BS_GROUPBOX;
        case Sub::Check: return (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
        case Sub::Radio: return (style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
        case Sub::DropDown: return (style & 3) == CBS_DROPDOWN;
        case Sub::Left: return (style & SS_TYPEMASK) == SS_LEFT;
        case Sub::Right: return (style & SS_TYPEMASK) == SS_RIGHT;
    }
    return false;
}

// The text colour the control is drawn with, asked the way the control asks:
// its parent gets WM_CTLCOLOR* (and passes it up to the dialog).
COLORREF DrawnTextColour(HWND control, const Expected& row) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    const std::wstring cls = row.cls;
    if (cls == L"ComboBox") {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(control, &info);
        SendMessageW(control, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(info.hwndItem));
    } else {
        const UINT message = cls == L"Edit" ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC;
        SendMessageW(GetParent(control), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    }
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

std::vector<std::wstring> Entries(HWND combo) {
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

int CountDescendants(HWND window) {
    int count = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        ++count;
        if (_wcsicmp(cls, L"ComboBox") != 0) count += CountDescendants(child);  // not the box's own edit
    }
    return count;
}

class LayoutTest : public testing::Test {
protected:
    void SetUp() override { DeleteSettings(); }
    void TearDown() override { DeleteSettings(); }
};

// A store whose rate cannot be used stops the load before any control is
// filled, so the dialog shows its controls exactly as they were created.
TEST_F(LayoutTest, EveryControlAsCreated) {
    SetSetting(setting::kRate, "");
    int controls = 0;
    const int result = ShowDialog([&](Dialog& dialog) {
        HWND window = dialog.Window();
        controls = CountDescendants(window);
        for (const Expected& row : kLayout) {
            SCOPED_TRACE(testing::Message() << "control " << row.id);
            HWND control = dialog.Control(row.id);
            ASSERT_NE(control, nullptr);
            wchar_t cls[64] = {};
            GetClassNameW(control, cls, 64);
            EXPECT_EQ(_wcsicmp(cls, row.cls), 0) << "class";
            EXPECT_TRUE(SubKindMatches(control, row.sub)) << "kind";
            HWND parent = GetParent(control);
            EXPECT_EQ(parent == window ? int(kForm) : GetDlgCtrlID(parent), int(row.parent)) << "parent";
            RECT box;
            GetWindowRect(control, &box);
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
            EXPECT_EQ(box.left, row.left) << "left";
            EXPECT_EQ(box.top, row.top) << "top";
            if (!SizedToText(row.id)) {
                EXPECT_EQ(box.right - box.left, row.width) << "width";
                EXPECT_EQ(box.bottom - box.top, row.height) << "height";
            }
            EXPECT_EQ(dialog.Text(row.id), row.text) << "text";
            EXPECT_EQ(IsWindowEnabled(control) != FALSE, row.enabled) << "enabled";
            LOGFONTW font{};
            HFONT handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
            ASSERT_NE(handle, nullptr) << "font";
            GetObjectW(handle, sizeof font, &font);
            EXPECT_STREQ(font.lfFaceName, L"宋体");
            EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
            EXPECT_EQ(font.lfHeight, -12);
            if (row.colour != kNotTested) {
                EXPECT_EQ(DrawnTextColour(control, row), row.colour) << "colour";
            }
        }
        const std::vector<std::wstring> ports{L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9", L"10"};
        const std::vector<std::wstring> rates{L"600",   L"1200",  L"2400",  L"4800", L"9600",
                                              L"14400", L"19200", L"38400", L"57600"};
        EXPECT_EQ(Entries(dialog.Control(idCbbPort)), ports);
        EXPECT_EQ(Entries(dialog.Control(idCbbRate)), rates);
        EXPECT_EQ(dialog.Selection(idCbbPort), -1);
        EXPECT_EQ(dialog.Selection(idCbbRate), -1);
        EXPECT_TRUE(dialog.Checked(idRbCode));
        EXPECT_FALSE(dialog.Checked(idRbOrder));
        EXPECT_FALSE(dialog.Checked(idCbAuto));
        EXPECT_FALSE(dialog.Checked(idCbStatus));
        EXPECT_TRUE(GetWindowLongW(dialog.Control(idEdPassKey), GWL_STYLE) & ES_UPPERCASE);
        EXPECT_EQ(SendMessageW(dialog.Control(idEdPassKey), EM_GETLIMITTEXT, 0, 0), 24);
        EXPECT_EQ(SendMessageW(dialog.Control(idEdPass), EM_GETPASSWORDCHAR, 0, 0), L'*');
        dialog.PressCloseButton();
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(controls, 34);
    EXPECT_EQ(GetSetting(setting::kRate), "");
    EXPECT_EQ(GetSetting(setting::kPort), "<missing>");
}

// Whatever face the system draws 宋体 with, a label sized to its text holds
// it; the other labels keep the measures of the table.
TEST_F(LayoutTest, LabelsSizedToTheirTextHoldIt) {
    const int result = ShowDialog([&](Dialog& dialog) {
        for (const Expected& row : kLayout) {
            if (std::wstring(row.cls) != L"Static") continue;
            SCOPED_TRACE(testing::Message() << "label " << row.id);
            HWND label = dialog.Control(row.id);
            RECT client;
            GetClientRect(label, &client);
            const SIZE extent = TextExtent(label);
            if (SizedToText(row.id)) {
                std::printf("label %d: text extent %ldx%ld, client area %ldx%ld (table: %dx%d)\n", row.id, extent.cx,
                            extent.cy, client.right, client.bottom, row.width, row.height);
                EXPECT_EQ(client.right, extent.cx);
                EXPECT_EQ(client.bottom, extent.cy);
            } else {
                EXPECT_EQ(client.right, row.width);
                EXPECT_EQ(client.bottom, row.height);
            }
        }
        dialog.PressCloseButton();
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
}

TEST_F(LayoutTest, WindowIsAFixedCentredDialogOwnedByTheHost) {
    bool hostEnabledMeanwhile = true;
    const int result = ShowDialog([&](Dialog& dialog) {
        HWND window = dialog.Window();
        wchar_t title[128] = {};
        GetWindowTextW(window, title, 128);
        EXPECT_STREQ(title, L"一卡通参数配置 [Orlanda：QKT-R7MX-2]");
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 436);
        EXPECT_EQ(client.bottom, 359);
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD));
        EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
        RECT frame;
        GetWindowRect(window, &frame);
        EXPECT_NEAR(frame.left + frame.right, GetSystemMetrics(SM_CXSCREEN), 1);
        EXPECT_NEAR(frame.top + frame.bottom, GetSystemMetrics(SM_CYSCREEN), 1);
        EXPECT_EQ(GetWindow(window, GW_OWNER), TheHost().window);
        hostEnabledMeanwhile = IsWindowEnabled(TheHost().window) != FALSE;
        EXPECT_EQ(dialog.Focus(), idPanel1) << "no input control has the focus at first";
        dialog.Screenshot("dialog-opening");
        dialog.PressCloseButton();
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(hostEnabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(TheHost().window));
    EXPECT_EQ(GetSetting(setting::kPort), "<missing>") << "closing from the title bar writes nothing";
}

// A WM_QUIT meant for the host's loop ends the dialog and is left for the host.
TEST_F(LayoutTest, QuitDuringTheDialogIsHandedBackToTheHost) {
    const int result = ShowDialog([&](Dialog& dialog) {
        PostThreadMessageW(TheHost().thread, WM_QUIT, 7, 0);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_TRUE(IsWindowEnabled(TheHost().window));
    EXPECT_EQ(GetSetting(setting::kPort), "<missing>");
}

// ---------------------------------------------------------------------------
// Focus order

struct FocusCase {
    const char* name;
    bool dbCheckOn;
    bool serialNumber;  // rbOrder selected
    WORD key;
    std::vector<int> expected;  // from the first control of the settings on
};

std::vector<int> Walk(Dialog& dialog, WORD key, std::size_t steps) {
    std::vector<int> seen;
    for (std::size_t i = 0; i < steps; ++i) {
        dialog.Key(key);
        seen.push_back(dialog.Focus());
    }
    return seen;
}

TEST_F(LayoutTest, ViewModeFocusStaysOnTheButtons) {
    const int result = ShowDialog([&](Dialog& dialog) {
        ASSERT_EQ(dialog.Focus(), idPanel1);
        EXPECT_EQ(Walk(dialog, VK_TAB, 4), (std::vector<int>{idBtMod, idBtOk, idBtCancel, idBtMod}));
        EXPECT_EQ(Walk(dialog, VK_RETURN, 3), (std::vector<int>{idBtOk, idBtCancel, idBtMod}));
        dialog.Key(VK_ESCAPE);
        EXPECT_TRUE(dialog.Open()) << "Escape does not close";
        EXPECT_FALSE(dialog.EditMode());
        EXPECT_FALSE(dialog.MessageBoxShown());
        // A click on a setting does nothing while the settings are disabled.
        dialog.Click(idCbAuto);
        EXPECT_FALSE(dialog.Checked(idCbAuto));
        dialog.PressCloseButton();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(setting::kPort), "<missing>");
}

TEST_F(LayoutTest, EditModeFocusOrder) {
    const std::vector<int> withDb{idCbbPort, idCbAuto, idEdStepSec, idEdSector, idEdPassKey, idCbStatus, idEdIP,
                                  idEdName,  idEdUser, idEdPass,    idRbCode,   idBtOk,      idBtCancel, idCbbRate};
    const std::vector<int> withoutDb{idCbbPort,   idCbAuto,   idEdStepSec, idEdSector, idEdPassKey,
                                     idCbStatus,  idRbOrder,  idBtOk,      idBtCancel, idCbbRate};
    const FocusCase cases[] = {
        {"TabWithCardStateCheck", true, false, VK_TAB, withDb},
        {"EnterWithCardStateCheck", true, false, VK_RETURN, withDb},
        {"EnterWithoutCheckAndSerialNumber", false, true, VK_RETURN, withoutDb},
    };
    for (const FocusCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteDefaultSettings();
        SetSetting(setting::kDbStatus, c.dbCheckOn ? "1" : "0");
        SetSetting(setting::kCodeOrNo, c.serialNumber ? "1" : "0");
        const int result = ShowDialog([&](Dialog& dialog) {
            dialog.Click(idBtMod);
            ASSERT_TRUE(dialog.EditMode());
            EXPECT_EQ(dialog.Text(idGrbEdit), L"编辑状态");
            EXPECT_EQ(dialog.Focus(), idCbbRate);
            EXPECT_EQ(Walk(dialog, c.key, c.expected.size()), c.expected);
            dialog.Key(VK_ESCAPE);
            EXPECT_TRUE(dialog.Open());
            EXPECT_TRUE(dialog.EditMode());
            if (c.dbCheckOn && !c.serialNumber && c.key == VK_TAB) dialog.Screenshot("dialog-edit-mode");
            dialog.Click(idBtCancel);  // edit mode: leaves without writing
            EXPECT_TRUE(dialog.WaitClosed());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(GetSetting(setting::kDbStatus), c.dbCheckOn ? "1" : "0") << "nothing written";
        EXPECT_EQ(GetSetting(setting::kDbIpAddr), "<missing>");
    }
}

// The arrow keys move the focus, and the selection, only between the radio
// buttons of the group; on any other control they leave the focus where it is.
TEST_F(LayoutTest, ArrowKeysMoveOnlyWithinTheRadioGroup) {
    WriteDefaultSettings();
    const int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        dialog.Click(idRbCode);
        ASSERT_EQ(dialog.Focus(), idRbCode);
        dialog.Key(VK_DOWN);
        EXPECT_EQ(dialog.Focus(), idRbOrder);
        EXPECT_TRUE(dialog.Checked(idRbOrder));
        EXPECT_FALSE(dialog.Checked(idRbCode));
        dialog.Key(VK_RIGHT);
        EXPECT_EQ(dialog.Focus(), idRbCode) << "the group wraps";
        EXPECT_TRUE(dialog.Checked(idRbCode));
        dialog.Key(VK_TAB);
        EXPECT_EQ(dialog.Focus(), idBtOk);
        for (WORD key : {VK_RIGHT, VK_DOWN, VK_LEFT, VK_UP}) {
            dialog.Key(key);
            EXPECT_EQ(dialog.Focus(), idBtOk) << "key " << key;
        }
        dialog.Click(idCbStatus);
        for (WORD key : {VK_DOWN, VK_UP}) {
            dialog.Key(key);
            EXPECT_EQ(dialog.Focus(), idCbStatus) << "key " << key;
        }
        dialog.Click(idBtCancel);  // edit mode: nothing written
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(setting::kCodeOrNo), "0");
}

// ---------------------------------------------------------------------------
// Display scale

// The dialog in a DPI-aware host is laid out for the display's DPI (wine
// reads it from LogPixels); a DPI-unaware host gets the 96-DPI measures.
TEST(DpiTest, LayoutFollowsTheDisplayInADpiAwareHost) {
    DeleteSettings();
    HDC screen = GetDC(nullptr);
    const int screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const bool aware = IsProcessDPIAware() != FALSE;
    const int dpi = aware ? screenDpi : 96;
    if (RequestedDpi() && aware) EXPECT_EQ(screenDpi, RequestedDpi()) << "the display's DPI";
    std::printf("display %d DPI, host %s, dialog laid out at %d DPI\n", RequestedDpi() ? RequestedDpi() : screenDpi,
                aware ? "DPI-aware" : "DPI-unaware", dpi);
    auto scale = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
    const int result = ShowDialog([&](Dialog& dialog) {
        HWND window = dialog.Window();
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, scale(436));
        EXPECT_EQ(client.bottom, scale(359));
        for (const Expected& row : kLayout) {
            SCOPED_TRACE(testing::Message() << "control " << row.id);
            HWND control = dialog.Control(row.id);
            ASSERT_NE(control, nullptr);
            HWND parent = GetParent(control);
            RECT box;
            GetWindowRect(control, &box);
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
            EXPECT_NEAR(box.left, scale(row.left), 2) << "left";
            EXPECT_NEAR(box.top, scale(row.top), 2) << "top";
            const SIZE extent = TextExtent(control);
            if (SizedToText(row.id)) {
                EXPECT_EQ(box.right - box.left, extent.cx) << "width";
                EXPECT_EQ(box.bottom - box.top, extent.cy) << "height";
            } else {
                EXPECT_NEAR(box.right - box.left, scale(row.width), 2) << "width";
                EXPECT_NEAR(box.bottom - box.top, scale(row.height), 2) << "height";
            }
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
            // 宋体 scaled; a face wider than SimSun at that size a pixel or two smaller.
            EXPECT_LE(-font.lfHeight, scale(12)) << "font height";
            EXPECT_GE(-font.lfHeight, scale(12) - 2) << "font height";
            // Nothing clipped: the control lies inside its parent, and a
            // label's text inside the label. (As laid out, Label4 ends a
            // pixel past grbEdit, on the blank right half of its full stop.)
            RECT inside;
            GetClientRect(parent, &inside);
            EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= inside.right + 2 && box.bottom <= inside.bottom)
                << "inside its parent: " << box.right << "," << box.bottom << " in " << inside.right << "x"
                << inside.bottom;
            if (std::wstring(row.cls) == L"Static") {
                RECT own;
                GetClientRect(control, &own);
                EXPECT_LE(extent.cx, own.right) << "text width";
                EXPECT_LE(extent.cy, own.bottom) << "text height";
            }
        }
        char name[64];
        std::snprintf(name, sizeof name, "dialog-dpi-%d-%s", RequestedDpi() ? RequestedDpi() : screenDpi,
                      aware ? "aware" : "unaware");
        // The pointer speaks physical pixels: only the aware host is clicked.
        if (aware) dialog.Click(idBtMod);
        dialog.Screenshot(name);
        dialog.PressCloseButton();
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace ykt::test
