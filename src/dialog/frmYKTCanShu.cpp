#include "dialog/frmYKTCanShu.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/settings/DialogSettings.h"
#include "core/settings/SettingsRules.h"
#include "core/settings/SettingsStore.h"
#include "platform/Guard.h"
#include "platform/WideText.h"
#include "journal/SettingsSaveJournal.h"
#include "settings/SettingsWriter.h"

namespace ykt::dialog {

namespace {

const wchar_t* const kLayoutCaption = L"一卡通参数设置";
const wchar_t* const kEditCaption = L"编辑状态";
const wchar_t* const kNoticeTitle = L"提示信息";
const wchar_t* const kKeyLengthText = L"通信密码长度不对，应为24位！";
const wchar_t* const kWriteFailedText =
    L"保存您配置的参数失败！在WinNT/2000/XP中只能Administrator用户才有权修改，请与系统管理员联系！";
// Not every interval can be stored: an empty box, eleven digits or pasted
// text would otherwise leave a half-written store behind.
const wchar_t* const kIntervalText = L"查询间隔必须是不大于2147483647的整数毫秒数！";

// The default key as the laid-out text of edPassKey, widened from the store's one spelling.
struct WideKey {
    wchar_t text[kKeyTextLength + 1]{};
    constexpr WideKey() {
        for (std::size_t i = 0; i <= kKeyTextLength; ++i) text[i] = static_cast<wchar_t>(kDefaultKey[i]);
    }
};
constexpr WideKey kDefaultKeyText;
constexpr int kKeyBytes = static_cast<int>(kKeyTextLength);

const wchar_t* const kPortEntries[] = {L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9", L"10", nullptr};
const wchar_t* const kRateEntries[] = {L"600",   L"1200",  L"2400",  L"4800",  L"9600",
                                       L"14400", L"19200", L"38400", L"57600", nullptr};

const wchar_t* const kControlOriginalProc = L"YktControlOriginalProc";

bool IsDigit(wchar_t key) { return key >= L'0' && key <= L'9'; }
bool IsHexLetter(wchar_t key) { return (key >= L'A' && key <= L'F') || (key >= L'a' && key <= L'f'); }
constexpr wchar_t kBackspace = 8;
constexpr LPARAM kCompositionResult = 0x0800;  // GCS_RESULTSTR
constexpr wchar_t kEnter = 13;

bool TakesFocus(Kind kind) {
    return kind == Kind::Button || kind == Kind::Edit || kind == Kind::ComboBox || kind == Kind::CheckBox ||
           kind == Kind::RadioButton;
}

bool HoldsControls(Kind kind) { return kind == Kind::Panel || kind == Kind::ScrollBox || kind == Kind::GroupBox; }

bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Which control shows which of the dialog's values, and how: the selected
// entry of a combo box, the (ANSI) text of an edit or combo box, or the tick
// of a check box or radio button. Exactly one member pointer is set.
struct ControlBinding {
    ControlId id;
    std::int32_t DialogControls::*entry;
    std::string DialogControls::*text;
    bool DialogControls::*tick;
};

using C = DialogControls;
const ControlBinding kBindings[] = {
    {idCbbPort,   &C::portEntry, nullptr,     nullptr},
    {idCbbRate,   nullptr,       &C::rate,    nullptr},
    {idEdSector,  nullptr,       &C::sector,  nullptr},
    {idEdPassKey, nullptr,       &C::key,     nullptr},
    {idCbAuto,    nullptr,       nullptr,     &C::autoQuery},
    {idEdStepSec, nullptr,       &C::stepSec, nullptr},
    {idCbStatus,  nullptr,       nullptr,     &C::cardState},
    {idEdIP,      nullptr,       &C::dbIpAddr, nullptr},
    {idEdName,    nullptr,       &C::dbName,  nullptr},
    {idEdPass,    nullptr,       &C::dbPass,  nullptr},
    {idEdUser,    nullptr,       &C::dbUser,  nullptr},
    {idRbOrder,   nullptr,       nullptr,     &C::serialNumber},
};

}  // namespace

using T = TYKTCanShu;

// clang-format off
const ControlLayout TYKTCanShu::Layout[kControlCount] = {
//   id           name         kind               parent        left top  w    h    text                                   colour                tab properties                     bytes entries       eh  field          click                 key press
    {idPanel1,    "Panel1",    Kind::Panel,       kForm,        0,   314, 436, 45,  nullptr,                               FontColour::Inherited, 0, kNoProperty,                   0,  nullptr,      0,  &T::Panel1,    nullptr,              nullptr},
    {idBtMod,     "btMod",     Kind::Button,      idPanel1,     16,  8,   75,  25,  L"修改",                               FontColour::Inherited, 0, kNoProperty,                   0,  nullptr,      0,  &T::btMod,     &T::btModClick,       nullptr},
    {idBtOk,      "btOk",      Kind::Button,      idPanel1,     232, 8,   91,  25,  L"保存并退出",                         FontColour::Inherited, 1, kNoProperty,                   0,  nullptr,      0,  &T::btOk,      &T::btOkClick,        nullptr},
    {idBtCancel,  "btCancel",  Kind::Button,      idPanel1,     328, 8,   91,  25,  L"不保存退出",                         FontColour::Inherited, 2, kNoProperty,                   0,  nullptr,      0,  &T::btCancel,  &T::btCancelClick,    nullptr},
    {idPanel2,    "Panel2",    Kind::Panel,       kForm,        0,   0,   436, 314, L"Panel2",                             FontColour::Inherited, 1, kNoProperty,                   0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idScrollBox, "ScrollBox", Kind::ScrollBox,   idPanel2,     4,   4,   428, 306, nullptr,                               FontColour::Inherited, 0, kNoProperty,                   0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idGrbEdit,   "grbEdit",   Kind::GroupBox,    idScrollBox,  8,   0,   409, 305, nullptr,                               FontColour::Fuchsia,   0, kDisabled,                     0,  nullptr,      0,  &T::grbEdit,   nullptr,              nullptr},
    {idLabel3,    "Label3",    Kind::Label,       idGrbEdit,    24,  21,  153, 13,  L"通信COM端口",                        FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idCbbPort,   "cbbPort",   Kind::ComboBox,    idGrbEdit,    176, 16,  73,  20,  L"1",                                  FontColour::Black,     1, kNoProperty,                   0,  kPortEntries, 12, &T::cbbPort,   nullptr,              &T::cbbPortKeyPress},
    {idLabel5,    "Label5",    Kind::Label,       idGrbEdit,    46,  46,  131, 13,  L"通讯波特率",                         FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idCbbRate,   "cbbRate",   Kind::ComboBox,    idGrbEdit,    176, 40,  73,  20,  L"9600",                               FontColour::Black,     0, kFixedText,                    0,  kRateEntries, 12, &T::cbbRate,   nullptr,              &T::cbbRateKeyPress},
    {idLabel2,    "Label2",    Kind::Label,       idGrbEdit,    24,  70,  153, 13,  L"扇区号",                             FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idEdSector,  "edSector",  Kind::Edit,        idGrbEdit,    176, 64,  73,  20,  L"7",                                  FontColour::Black,     4, kNoProperty,                   0,  nullptr,      0,  &T::edSector,  nullptr,              &T::edStepSecKeyPress},
    {idLabel6,    "Label6",    Kind::Label,       idGrbEdit,    24,  94,  153, 13,  L"通信密码",                           FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idEdPassKey, "edPassKey", Kind::Edit,        idGrbEdit,    176, 88,  153, 20,  kDefaultKeyText.text,                  FontColour::Black,     5, kUpperCase,            kKeyBytes, nullptr,      0,  &T::edPassKey, nullptr,              &T::edPassKeyKeyPress},
    {idLabel16,   "Label16",   Kind::Label,       idGrbEdit,    46,  114, 131, 13,  L"自动查询读卡器",                     FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idCbAuto,    "cbAuto",    Kind::CheckBox,    idGrbEdit,    176, 112, 225, 17,  L"不打钩时，按[F1]或[F12]才读读卡器",  FontColour::Black,     2, kNoProperty,                   0,  nullptr,      0,  &T::cbAuto,    nullptr,              nullptr},
    {idLabel4,    "Label4",    Kind::Label,       idGrbEdit,    194, 130, 216, 12,  L"打勾时，将对系统操作速度有少许影响。", FontColour::Black,   -1, kTransparent | kSizedToText,   0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idLabel7,    "Label7",    Kind::Label,       idGrbEdit,    24,  158, 153, 13,  L"自动查询方式时的查询间隔",           FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idEdStepSec, "edStepSec", Kind::Edit,        idGrbEdit,    176, 152, 73,  20,  L"1500",                               FontColour::Black,     3, kNoProperty,                   0,  nullptr,      0,  &T::edStepSec, nullptr,              &T::edStepSecKeyPress},
    {idLabel1,    "Label1",    Kind::Label,       idGrbEdit,    248, 160, 108, 12,  L"毫秒，应>=1000毫秒",                 FontColour::Black,    -1, kSizedToText,                  0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idLabel8,    "Label8",    Kind::Label,       idGrbEdit,    46,  186, 131, 13,  L"读取一卡通卡的状态",                 FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idCbStatus,  "cbStatus",  Kind::CheckBox,    idGrbEdit,    176, 184, 225, 17,  nullptr,                               FontColour::Black,     6, kNoProperty,                   0,  nullptr,      0,  &T::cbStatus,  &T::cbStatusClick,    nullptr},
    {idLabel9,    "Label9",    Kind::Label,       idGrbEdit,    8,   214, 169, 13,  L"一卡通服务器IP地址或计算机名",       FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idEdIP,      "edIP",      Kind::Edit,        idGrbEdit,    176, 208, 153, 20,  nullptr,                               FontColour::Black,     7, kNoProperty,                   24, nullptr,      0,  &T::edIP,      nullptr,              nullptr},
    {idLabel12,   "Label12",   Kind::Label,       idGrbEdit,    24,  238, 153, 13,  L"数据库名称",                         FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idEdName,    "edName",    Kind::Edit,        idGrbEdit,    176, 232, 153, 20,  nullptr,                               FontColour::Black,     8, kNoProperty,                   24, nullptr,      0,  &T::edName,    nullptr,              nullptr},
    {idLabel10,   "Label10",   Kind::Label,       idGrbEdit,    24,  262, 153, 13,  L"数据库用户",                         FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idEdUser,    "edUser",    Kind::Edit,        idGrbEdit,    176, 256, 153, 20,  nullptr,                               FontColour::Black,     9, kNoProperty,                   24, nullptr,      0,  &T::edUser,    nullptr,              nullptr},
    {idLabel11,   "Label11",   Kind::Label,       idGrbEdit,    24,  286, 153, 13,  L"数据库密码",                         FontColour::Navy,     -1, kRightAligned,                 0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idEdPass,    "edPass",    Kind::Edit,        idGrbEdit,    176, 280, 153, 20,  nullptr,                               FontColour::Black,    10, kPasswordChar,                 24, nullptr,      0,  &T::edPass,    nullptr,              nullptr},
    {idGroupBox1, "GroupBox1", Kind::GroupBox,    idGrbEdit,    272, 16,  121, 65,  nullptr,                               FontColour::Inherited,11, kNoProperty,                   0,  nullptr,      0,  nullptr,       nullptr,              nullptr},
    {idRbCode,    "rbCode",    Kind::RadioButton, idGroupBox1,  16,  16,  89,  17,  L"读取卡编号",                         FontColour::Navy,      0, kChecked,                      0,  nullptr,      0,  &T::rbCode,    nullptr,              nullptr},
    {idRbOrder,   "rbOrder",   Kind::RadioButton, idGroupBox1,  16,  40,  89,  17,  L"读取卡序号",                         FontColour::Navy,      1, kNoProperty,                   0,  nullptr,      0,  &T::rbOrder,   nullptr,              nullptr},
};
// clang-format on

// ---------------------------------------------------------------------------
// Creation from the layout

TYKTCanShu::TYKTCanShu(HWND owner) {
    RegisterFaceClass(kFormClassName, FormProc);
    RegisterContainerClasses();

    // A fixed dialog frame with the close button only.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    handle_ = CreateWindowExW(exStyle, kFormClassName, kLayoutCaption, style, 0, 0, 0, 0, owner, nullptr,
                              ModuleInstance(), this);
    if (!handle_) throw std::runtime_error("the settings dialog cannot be created");
    try {
        dpi_ = LayoutDpi(handle_);
        font_ = CreateDialogFont();
        SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        SizeAndCentre(style, exStyle);
        for (const ControlLayout& row : Layout) CreateControl(row);
        ArrangeTabOrder();
        savedFocus_ = Panel1;
        RunHandler([&] { FormCreate(handle_); });
    } catch (...) {
        DestroyWindow(handle_);
        if (font_) DeleteObject(font_);
        throw;
    }
}

TYKTCanShu::~TYKTCanShu() {
    if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
    if (font_) DeleteObject(font_);
}

// 宋体 at 12 pixels (scaled), in which a Chinese character is as wide as the
// font is high: the layout's measures rest on that. A face the system puts in
// its place whose characters come out wider at the scaled size is taken a
// pixel or two smaller, so that the texts still fit their labels.
HFONT TYKTCanShu::CreateDialogFont() const {
    LOGFONTW face{};
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = GB2312_CHARSET;
    wcscpy(face.lfFaceName, L"宋体");
    const int height = Scale(12);
    HDC dc = GetDC(handle_);
    HFONT font = nullptr;
    for (int tried = height; tried >= height - 2; --tried) {
        face.lfHeight = -tried;
        font = CreateFontIndirectW(&face);
        if (!font || tried == height - 2) break;
        HGDIOBJ old = SelectObject(dc, font);
        SIZE extent{};
        const bool fits = GetTextExtentPoint32W(dc, L"宋", 1, &extent) && extent.cx <= height;
        SelectObject(dc, old);
        if (fits) break;
        DeleteObject(font);
        font = nullptr;
    }
    ReleaseDC(handle_, dc);
    if (!font) throw std::runtime_error("the dialog's font cannot be created");
    return font;
}

void TYKTCanShu::SizeAndCentre(DWORD style, DWORD exStyle) {
    const int clientWidth = Scale(436);
    const int clientHeight = Scale(359);
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    SetWindowPos(handle_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    // Whatever the frame really takes, the client area gets its exact size.
    RECT client;
    GetClientRect(handle_, &client);
    width += clientWidth - client.right;
    height += clientHeight - client.bottom;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TYKTCanShu::CreateControl(const ControlLayout& row) {
    HWND parent = row.parent == kForm ? handle_ : Window(row.parent);
    // Every control starts a group of its own, so that the arrow keys move
    // the focus only between the radio buttons of one group box.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_GROUP;
    DWORD exStyle = 0;
    const wchar_t* cls = L"BUTTON";
    int width = Scale(row.width);
    int height = Scale(row.height);
    switch (row.kind) {
        case Kind::Panel:
            cls = kPanelClass;
            exStyle |= WS_EX_CONTROLPARENT;
            break;
        case Kind::ScrollBox:
            cls = kScrollBoxClass;
            exStyle |= WS_EX_CONTROLPARENT;
            break;
        case Kind::GroupBox:
            style |= BS_GROUPBOX | WS_CLIPCHILDREN;
            exStyle |= WS_EX_CONTROLPARENT;
            break;
        case Kind::Label:
            cls = L"STATIC";
            style |= SS_NOPREFIX | ((row.properties & kRightAligned) ? SS_RIGHT : SS_LEFT);
            break;
        case Kind::Button:
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case Kind::Edit:
            cls = L"EDIT";
            style |= ES_AUTOHSCROLL | WS_TABSTOP;
            if (row.properties & kUpperCase) style |= ES_UPPERCASE;
            if (row.properties & kPasswordChar) style |= ES_PASSWORD;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case Kind::ComboBox: {
            cls = L"COMBOBOX";
            style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
            int entries = 0;
            while (row.entries && row.entries[entries]) ++entries;
            height += entries * Scale(row.entryHeight) + Scale(4);  // the whole list when dropped down
            break;
        }
        case Kind::CheckBox:
            style |= BS_AUTOCHECKBOX | WS_TABSTOP;
            break;
        case Kind::RadioButton:
            // The first of a group starts it and is its tab stop; the button
            // control moves the tab stop to whichever is selected.
            style = (style & ~WS_GROUP) | BS_AUTORADIOBUTTON;
            if (row.tabOrder == 0) style |= WS_GROUP | WS_TABSTOP;
            break;
    }
    HWND control = CreateWindowExW(exStyle, cls, row.text ? row.text : L"", style, Scale(row.left), Scale(row.top),
                                   width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)),
                                   ModuleInstance(), nullptr);
    if (!control) throw std::runtime_error(std::string("cannot create ") + row.name);
    windows_[row.id - idScrollBox] = control;
    if (row.field) this->*(row.field) = control;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    if (row.properties & kSizedToText) {
        // Whatever face the system draws the font with, the whole text shows.
        const std::wstring text = row.text ? row.text : L"";
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, font_);
        SIZE extent{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        SetWindowPos(control, nullptr, 0, 0, extent.cx, extent.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    auto subclass = [](HWND window) {
        SetPropW(window, kControlOriginalProc, reinterpret_cast<HANDLE>(GetWindowLongPtrW(window, GWLP_WNDPROC)));
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc));
    };
    if (row.kind == Kind::GroupBox) ForwardChildNotifications(control);
    if (row.kind == Kind::ComboBox) {
        for (int i = 0; row.entries && row.entries[i]; ++i)
            SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.entries[i]));
        SendMessageW(control, CB_SETITEMHEIGHT, 0, Scale(row.entryHeight));
        // The closed box is as high as laid out, whatever the font would make it.
        LRESULT request = SendMessageW(control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        for (int attempt = 0; request != CB_ERR && attempt < 3; ++attempt) {
            RECT box;
            GetWindowRect(control, &box);
            const int missing = Scale(row.height) - (box.bottom - box.top);
            if (missing == 0) break;
            request += missing;
            SendMessageW(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), request);
        }
        SetWindowTextW(control, row.text ? row.text : L"");  // shown, with no entry selected
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        // The box hands every character to its edit: filtered there.
        if (GetComboBoxInfo(control, &info) && info.hwndItem) subclass(info.hwndItem);
    }
    if (row.kind == Kind::Edit) {
        // EM_LIMITTEXT counts characters; FitsByteLimit counts the bytes.
        if (row.maxBytes > 0) SendMessageW(control, EM_LIMITTEXT, row.maxBytes, 0);
        if (row.properties & kPasswordChar) SendMessageW(control, EM_SETPASSWORDCHAR, L'*', 0);
    }
    // Whatever can hold the focus sees its characters through the dialog first.
    if (TakesFocus(row.kind) && row.kind != Kind::ComboBox) subclass(control);
    if (row.properties & kChecked) SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
    if (row.properties & kDisabled) EnableWindow(control, FALSE);
}

// The dialog manager walks siblings in window order: the focusable children
// of each container go first, in their tab order.
void TYKTCanShu::ArrangeTabOrder() {
    auto arrange = [&](ControlId parent) {
        std::vector<const ControlLayout*> children;
        for (const ControlLayout& row : Layout)
            if (row.parent == parent && row.tabOrder >= 0) children.push_back(&row);
        std::stable_sort(children.begin(), children.end(),
                         [](const ControlLayout* a, const ControlLayout* b) { return a->tabOrder < b->tabOrder; });
        HWND after = HWND_TOP;
        for (const ControlLayout* row : children) {
            HWND control = Window(row->id);
            SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = control;
        }
    };
    arrange(kForm);
    for (const ControlLayout& row : Layout)
        if (HoldsControls(row.kind)) arrange(row.id);
}

void TYKTCanShu::SetCaption(const wchar_t* caption) { SetWindowTextW(handle_, caption); }

HWND TYKTCanShu::Window(ControlId id) const {
    const int index = id - idScrollBox;
    return index >= 0 && index < kControlCount ? windows_[index] : nullptr;
}

const ControlLayout* TYKTCanShu::RowOf(ControlId id) const {
    for (const ControlLayout& row : Layout)
        if (row.id == id) return &row;
    return nullptr;
}

const ControlLayout* TYKTCanShu::RowOfWindow(HWND window) const {
    // Up to one level: the edit and list of a combo box stand for the box.
    for (int level = 0; window && window != handle_ && level < 2; ++level, window = GetParent(window)) {
        const ControlLayout* row = RowOf(static_cast<ControlId>(GetDlgCtrlID(window)));
        if (row && Window(row->id) == window) return row;
    }
    return nullptr;
}

COLORREF TYKTCanShu::FontColourOf(const ControlLayout& row) const {
    for (const ControlLayout* at = &row; at; at = at->parent == kForm ? nullptr : RowOf(at->parent)) {
        switch (at->colour) {
            case FontColour::Black:
                return RGB(0, 0, 0);
            case FontColour::Navy:
                return RGB(0, 0, 128);
            case FontColour::Fuchsia:
                return RGB(255, 0, 255);
            case FontColour::Inherited:
                break;
        }
    }
    return GetSysColor(COLOR_WINDOWTEXT);
}

LRESULT TYKTCanShu::ColourControl(UINT message, HDC dc, HWND control) {
    const ControlLayout* row = RowOfWindow(control);
    if (!row || message == WM_CTLCOLORLISTBOX || message == WM_CTLCOLORSCROLLBAR)
        return DefWindowProcW(handle_, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    const bool inputBox = (row->kind == Kind::Edit || row->kind == Kind::ComboBox) && message == WM_CTLCOLOREDIT;
    const bool inputControl = row->kind == Kind::Edit || row->kind == Kind::ComboBox;
    SetTextColor(dc, inputControl && !IsWindowEnabled(control) ? GetSysColor(COLOR_GRAYTEXT) : FontColourOf(*row));
    if (row->properties & kTransparent) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    const int background = inputBox ? COLOR_WINDOW : COLOR_BTNFACE;
    SetBkColor(dc, GetSysColor(background));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

// ---------------------------------------------------------------------------
// Messages and the modal loop

TYKTCanShu* TYKTCanShu::FromChild(HWND child) {
    HWND root = GetAncestor(child, GA_ROOT);
    return root ? reinterpret_cast<TYKTCanShu*>(GetWindowLongPtrW(root, GWLP_USERDATA)) : nullptr;
}

// No C++ exception may cross the window system's frames, and a structured
// exception is stopped right here rather than at the edge of the whole
// dialog, so that the dialog and what owns it unwind as usual. A handler
// that failed leaves the dialog as an interrupted handler would.
template <class F>
bool TYKTCanShu::RunHandler(F&& handler) {
    ++handlerDepth_;
    const unsigned long fault = ykt::Guarded([&] { handler(); });
    --handlerDepth_;
    if (fault == 0) return true;
    // Only the outermost handler holds the registry; a handler nested in it
    // (a control asked for its text during the save) ends alone.
    if (handlerDepth_ == 0) ReleaseAfterFault();
    return false;
}

void TYKTCanShu::ReleaseAfterFault() {
    readPass_.reset();
    writer_.Close();
}

LRESULT CALLBACK TYKTCanShu::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TYKTCanShu*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form && form->handle_ == window) {
        bool handled = false;
        LRESULT result = 0;
        if (!form->RunHandler([&] { handled = form->HandleMessage(message, wParam, lParam, result); })) return 0;
        if (handled) return result;
    }
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return DefWindowProcW(window, message, wParam, lParam);
}

bool TYKTCanShu::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND: {
            // IDOK and IDCANCEL from the dialog manager (Enter, Escape) name
            // no control of ours: no button is the default or the cancel one.
            const ControlLayout* row = lParam ? RowOfWindow(reinterpret_cast<HWND>(lParam)) : nullptr;
            if (!row) return false;
            if (HIWORD(wParam) == BN_CLICKED && row->onClick) (this->*(row->onClick))(Window(row->id));
            if (HIWORD(wParam) == CBN_EDITCHANGE && row->id == idCbbPort) SelectTypedPortEntry();
            result = 0;
            return true;
        }
        case WM_NEXTDLGCTL:
            if (lParam)
                FocusControl(reinterpret_cast<HWND>(wParam));
            else
                FocusNext(GetFocus(), wParam != 0);
            result = 0;
            return true;
        case WM_CHAR:
        case WM_IME_CHAR: {
            // A character for the dialog itself or one of its containers.
            wchar_t key = static_cast<wchar_t>(wParam);
            FormKeyPress(handle_, key);
            result = 0;
            return true;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
            result = ColourControl(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            return true;
        case WM_CLOSE:  // the title bar's close button: nothing is written
            Close();
            result = 0;
            return true;
        case WM_ACTIVATE:
            // Not a system dialog class: the focus comes back by hand.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(handle_, focus)) savedFocus_ = focus;
            } else {
                HWND target = savedFocus_ && IsWindow(savedFocus_) && IsChild(handle_, savedFocus_) ? savedFocus_ : Panel1;
                SetFocus(target);
            }
            result = 0;
            return true;
        default:
            return false;
    }
}

void TYKTCanShu::ShowModal(ModalDisabler& disabler, bool& quit, WPARAM& quitCode) {
    quit = false;
    closed_ = false;
    disabler.Disable(handle_, GetWindow(handle_, GW_OWNER));
    ShowWindow(handle_, SW_SHOWNORMAL);
    SetForegroundWindow(handle_);
    MSG message;
    while (!closed_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {  // the host's loop is to end: end ours and leave the quit to it
            quit = true;
            quitCode = message.wParam;
            break;
        }
        if (got == -1) break;
        // Enter never presses a button: its character goes to the focused
        // control, whose key preview moves the focus on as Tab does.
        const bool enter = message.message == WM_KEYDOWN && message.wParam == VK_RETURN;
        if (!enter && IsDialogMessageW(handle_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The owner first, so that the activation goes back to it.
    disabler.Restore();
    SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------
// Focus

void TYKTCanShu::FocusNext(HWND from, bool previous) {
    if (from && from != handle_ && !IsChild(handle_, from)) from = nullptr;
    HWND next = GetNextDlgTabItem(handle_, from == handle_ ? nullptr : from, previous);
    if (next) FocusControl(next);
}

void TYKTCanShu::FocusControl(HWND control) {
    SetFocus(control);
    if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
}

// ---------------------------------------------------------------------------
// Characters and the other typing limits

LRESULT CALLBACK TYKTCanShu::ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(control, kControlOriginalProc));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(control, kControlOriginalProc);
        return CallWindowProcW(original, control, message, wParam, lParam);
    }
    TYKTCanShu* form = FromChild(control);
    if (!form) return CallWindowProcW(original, control, message, wParam, lParam);
    LRESULT result = 0;
    // The control's own procedure runs under the same guard: a fault in it
    // ends this message, not a handler of the dialog that sent it.
    if (!form->RunHandler([&] {
            const ControlLayout* row = form->RowOfWindow(control);
            if (row && form->HandleControlMessage(control, *row, message, wParam, lParam, result)) return;
            result = CallWindowProcW(original, control, message, wParam, lParam);
        }))
        return 0;  // a failed handler swallows what it was given
    return result;
}

bool TYKTCanShu::HandleControlMessage(HWND control, const ControlLayout& row, UINT message, WPARAM wParam,
                                      LPARAM lParam, LRESULT& result) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(control, kControlOriginalProc));
    const bool fixedText = (row.properties & kFixedText) != 0;
    result = 0;
    switch (message) {
        case WM_CHAR:
        case WM_IME_CHAR: {
            // An input method's character arrives here as one UTF-16 unit
            // (the window system converts the two bytes of code page 936 of
            // an ANSI sender); it goes on as the character it was filtered to.
            wchar_t key = static_cast<wchar_t>(wParam);
            if (TakeCharacter(control, row, key)) result = CallWindowProcW(original, control, WM_CHAR, key, lParam);
            return true;
        }
        case WM_IME_COMPOSITION:
            // An edit control inserts an input method's finished text by
            // itself; the default handling hands it on as WM_IME_CHAR, one
            // character at a time, through the filters above.
            if (lParam & kCompositionResult) {
                result = DefWindowProcW(control, message, wParam, lParam);
                return true;
            }
            return false;
        case WM_PASTE:
            if (!fixedText && (row.kind == Kind::Edit || row.kind == Kind::ComboBox)) PasteFiltered(control, row);
            return true;
        case WM_KEYDOWN:
            return fixedText && wParam == VK_DELETE;
        case WM_CUT:
        case WM_CLEAR:
        case WM_UNDO:
        case EM_UNDO:
            return fixedText;
        default:
            return false;
    }
}

bool TYKTCanShu::TakeCharacter(HWND control, const ControlLayout& row, wchar_t& key) {
    FormKeyPress(handle_, key);  // the dialog sees every character first
    if (key == 0) return false;
    if (row.onKeyPress) (this->*(row.onKeyPress))(Window(row.id), key);
    if (key == 0) return false;
    if ((row.properties & kUpperCase) && key >= L'a' && key <= L'z') key = static_cast<wchar_t>(key - L'a' + L'A');
    return key < 0x20 || FitsByteLimit(control, row, std::wstring_view(&key, 1));
}

bool TYKTCanShu::FitsByteLimit(HWND edit, const ControlLayout& row, std::wstring_view insert) const {
    if (row.maxBytes <= 0) return true;
    const std::wstring text = WindowText(edit);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::min<DWORD>(std::max(start, end), static_cast<DWORD>(text.size()));
    const std::size_t kept = ByteLength(text) - ByteLength(std::wstring_view(text).substr(start, end - start));
    return kept + ByteLength(insert) <= static_cast<std::size_t>(row.maxBytes);
}

// Pasted text is held to what typing could have produced: the control's key
// filter and its byte limit.
void TYKTCanShu::PasteFiltered(HWND edit, const ControlLayout& row) {
    std::wstring pasted;
    if (!OpenClipboard(edit)) return;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            pasted = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    std::wstring accepted;
    for (wchar_t key : pasted) {
        if (key < 0x20) continue;  // one line, no control characters
        if (row.onKeyPress) (this->*(row.onKeyPress))(Window(row.id), key);
        if (key == 0) continue;
        if ((row.properties & kUpperCase) && key >= L'a' && key <= L'z') key = static_cast<wchar_t>(key - L'a' + L'A');
        std::wstring candidate = accepted + key;
        if (!FitsByteLimit(edit, row, candidate)) break;
        accepted.swap(candidate);
    }
    if (!accepted.empty()) SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(accepted.c_str()));
}

// Digits typed into the port box select the entry they spell, so that what
// the box shows is what a save stores; other text selects no entry.
void TYKTCanShu::SelectTypedPortEntry() {
    const std::wstring typed = WindowText(cbbPort);
    const LRESULT match = SendMessageW(cbbPort, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(typed.c_str()));
    if (match != CB_ERR) {
        DWORD start = 0, end = 0;
        SendMessageW(cbbPort, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        SendMessageW(cbbPort, CB_SETCURSEL, static_cast<WPARAM>(match), 0);
        SendMessageW(cbbPort, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
        return;
    }
    // Clearing the selection through the box would clear the typed text too.
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(cbbPort, &info) && info.hwndList)
        SendMessageW(info.hwndList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

// ---------------------------------------------------------------------------
// Event handlers

void TYKTCanShu::FormCreate(HWND) {
    // A value that cannot be used stops the load before any control is
    // filled: the controls keep their laid-out content.
    loaded_ = LoadSettings();
    readPass_.reset();  // the registry access is released before the controls are filled
    if (loaded_) FillControls();
}

bool TYKTCanShu::LoadSettings() {
    const SettingsReadPass& store = readPass_.emplace();
    const std::optional<DialogSettings> loaded = LoadDialogSettings(store);
    if (!loaded) return false;
    settings_ = *loaded;
    return true;
}

void TYKTCanShu::FillControls() {
    const DialogControls shown = ControlsFor(settings_);
    for (const ControlBinding& binding : kBindings) {
        const ControlLayout& row = *RowOf(binding.id);
        HWND control = this->*(row.field);
        if (binding.entry) {
            const std::int32_t entry = shown.*(binding.entry);
            SendMessageW(control, CB_SETCURSEL, entry < 0 ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(entry), 0);
        } else if (binding.text && row.kind == Kind::ComboBox) {
            const std::wstring text = ToWide(shown.*(binding.text), CP_ACP);
            const LRESULT entry = SendMessageW(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(text.c_str()));
            SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
            // Text that is no entry stays visible, so that a save keeps what was stored.
            if (entry == CB_ERR) SetWindowTextW(control, text.c_str());
        } else if (binding.text) {
            SetAnsiWindowText(control, shown.*(binding.text));
        } else if (row.kind == Kind::RadioButton) {
            // Selecting one button of the group clears the others; the laid-out
            // selection stands otherwise.
            if (!(shown.*(binding.tick))) continue;
            for (const ControlLayout& other : Layout)
                if (other.parent == row.parent && other.kind == Kind::RadioButton)
                    SendMessageW(this->*(other.field), BM_SETCHECK, BST_UNCHECKED, 0);
            SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        } else {
            SendMessageW(control, BM_SETCHECK, shown.*(binding.tick) ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    cbStatusClick(cbStatus);  // the database boxes follow the check as after a click
}

DialogControls TYKTCanShu::ControlValues() const {
    DialogControls held;
    for (const ControlBinding& binding : kBindings) {
        HWND control = this->*(RowOf(binding.id)->field);
        if (binding.entry) {
            const LRESULT entry = SendMessageW(control, CB_GETCURSEL, 0, 0);
            held.*(binding.entry) = entry == CB_ERR ? -1 : static_cast<std::int32_t>(entry);
        } else if (binding.text) {
            held.*(binding.text) = AnsiWindowText(control);
        } else {
            held.*(binding.tick) = IsChecked(control);
        }
    }
    return held;
}

void TYKTCanShu::FormKeyPress(HWND, wchar_t& key) {
    if (key != kEnter) return;
    key = 0;  // Enter never reaches a control: it moves on as Tab does
    FocusNext(GetFocus(), false);
}

void TYKTCanShu::edStepSecKeyPress(HWND, wchar_t& key) {
    if (!IsDigit(key) && key != kBackspace) key = 0;
}

void TYKTCanShu::cbbPortKeyPress(HWND, wchar_t& key) {
    if (!IsDigit(key) && key != kBackspace) key = 0;
}

void TYKTCanShu::cbbRateKeyPress(HWND, wchar_t& key) { key = 0; }

void TYKTCanShu::edPassKeyKeyPress(HWND, wchar_t& key) {
    if (!IsDigit(key) && !IsHexLetter(key) && key != kBackspace) key = 0;
}

void TYKTCanShu::cbStatusClick(HWND) {
    const bool on = IsChecked(cbStatus);
    for (HWND box : {edIP, edName, edPass, edUser}) EnableWindow(box, on);
}

void TYKTCanShu::btModClick(HWND) {
    EnterEditMode();
    // The focus leaves the now disabled btMod for the first setting.
    HWND first = GetNextDlgTabItem(grbEdit, nullptr, FALSE);
    if (first && IsChild(grbEdit, first))
        FocusControl(first);
    else
        FocusNext(btMod, false);
}

void TYKTCanShu::EnterEditMode() {
    EnableWindow(btMod, FALSE);
    EnableWindow(grbEdit, TRUE);
    SetWindowTextW(grbEdit, kEditCaption);
}

void TYKTCanShu::EnterViewMode() {
    EnableWindow(btMod, TRUE);
    EnableWindow(grbEdit, FALSE);
    SetWindowTextW(grbEdit, L"");
}

void TYKTCanShu::btOkClick(HWND) {
    const SavePlan plan = PlanSave(ControlValues());
    if (plan.check == SaveCheck::kKeyLength) {
        Notify(kKeyLengthText);
        return;
    }
    if (plan.check == SaveCheck::kInterval) {
        EnterEditMode();
        Notify(kIntervalText);
        FocusControl(edStepSec);
        return;
    }
    EnterViewMode();
    const bool saved = SaveSettings(plan);
    writer_.Close();  // before the message: nothing stays open while it is shown
    if (!saved) Notify(kWriteFailedText);
    Close();
}

void TYKTCanShu::btCancelClick(HWND sender) {
    if (ExitWithoutSavingAction(IsWindowEnabled(btMod) != FALSE, loaded_) == ExitWithoutSaving::kSaveAsOk)
        btOkClick(sender);
    else
        Close();
}

bool TYKTCanShu::SaveSettings(const SavePlan& plan) {
    SettingsWriter& store = writer_;
    if (!store.Open()) return false;
    std::vector<std::pair<const char*, std::string>> written;
    bool whole = true;
    for (const auto& [name, value] : plan.writes) {
        // The interval box shows what is stored, its floor included.
        if (std::string_view(name) == setting::kStepSec) SetAnsiWindowText(edStepSec, value);
        if (!store.Write(name, value)) {
            whole = false;
            break;
        }
        written.emplace_back(name, value);
    }
    if (!written.empty()) journal::RecordSettingsSave(written);
    return whole;
}

void TYKTCanShu::Notify(const wchar_t* text) { MessageBoxW(handle_, text, kNoticeTitle, MB_OK); }

}  // namespace ykt::dialog
