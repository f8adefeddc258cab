// The settings dialog TYKTCanShu: its layout as one table, the window built
// from it, and the ten event handlers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "core/settings/DialogSettings.h"
#include "dialog/ControlIds.h"
#include "dialog/FormKit.h"
#include "settings/SettingsWriter.h"

namespace ykt::dialog {

struct ControlLayout;

class TYKTCanShu {
public:
    // Creates the dialog and its controls from the layout (hidden, owned by
    // owner) and runs FormCreate. Throws std::runtime_error when a window
    // cannot be created.
    explicit TYKTCanShu(HWND owner);
    ~TYKTCanShu();
    TYKTCanShu(const TYKTCanShu&) = delete;
    TYKTCanShu& operator=(const TYKTCanShu&) = delete;

    void SetCaption(const wchar_t* caption);

    // Shows the dialog and runs its message loop on the calling thread until
    // the dialog closes; the windows that disabler disabled meanwhile are
    // enabled again before it returns. A WM_QUIT taken from the queue ends the
    // display; quit tells so, with its code in quitCode.
    void ShowModal(ModalDisabler& disabler, bool& quit, WPARAM& quitCode);

    // Event handlers, bound to their controls by the layout.
    void FormCreate(HWND sender);
    void FormKeyPress(HWND sender, wchar_t& key);
    void btModClick(HWND sender);
    void btOkClick(HWND sender);
    void btCancelClick(HWND sender);
    void cbStatusClick(HWND sender);
    void edStepSecKeyPress(HWND sender, wchar_t& key);
    void cbbPortKeyPress(HWND sender, wchar_t& key);
    void cbbRateKeyPress(HWND sender, wchar_t& key);
    void edPassKeyKeyPress(HWND sender, wchar_t& key);

    // Every control of the dialog, in creation order (parents first).
    static const ControlLayout Layout[kControlCount];

private:
    static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
    static TYKTCanShu* FromChild(HWND child);

    // Runs one handler under its own guard: whatever it throws or raises ends
    // that handler only, and what it held open is released.
    template <class F>
    bool RunHandler(F&& handler);
    void ReleaseAfterFault();

    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleControlMessage(HWND control, const ControlLayout& row, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result);
    void CreateControl(const ControlLayout& row);
    void ArrangeTabOrder();
    HFONT CreateDialogFont() const;
    void SizeAndCentre(DWORD style, DWORD exStyle);
    int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

    HWND Window(ControlId id) const;
    const ControlLayout* RowOf(ControlId id) const;
    const ControlLayout* RowOfWindow(HWND window) const;  // a combo box's edit maps to the combo box
    COLORREF FontColourOf(const ControlLayout& row) const;
    LRESULT ColourControl(UINT message, HDC dc, HWND control);

    // The focus moves as the dialog manager moves it (tab stops, groups).
    void FocusNext(HWND from, bool previous);
    void FocusControl(HWND control);

    // Every character a control receives, typed, sent or from an input
    // method: the key preview, the control's key filter, upper case and the
    // byte limit. False when the character is discarded.
    bool TakeCharacter(HWND control, const ControlLayout& row, wchar_t& key);
    bool FitsByteLimit(HWND edit, const ControlLayout& row, std::wstring_view insert) const;
    void PasteFiltered(HWND edit, const ControlLayout& row);
    void SelectTypedPortEntry();

    // The load step and its parts, and the save: the rules are DialogSettings';
    // these move its values in and out of the controls.
    bool LoadSettings();
    void FillControls();
    DialogControls ControlValues() const;
    void EnterEditMode();
    void EnterViewMode();
    bool SaveSettings(const SavePlan& plan);
    void Notify(const wchar_t* text);
    void Close() { closed_ = true; }

    // The controls the handlers use, in the order the dialog declares them;
    // the labels and the plain containers are reached through windows_.
    HWND Panel1 = nullptr;
    HWND grbEdit = nullptr;
    HWND cbbRate = nullptr;
    HWND cbbPort = nullptr;
    HWND cbAuto = nullptr;
    HWND edStepSec = nullptr;
    HWND btMod = nullptr;
    HWND btOk = nullptr;
    HWND btCancel = nullptr;
    HWND edSector = nullptr;
    HWND edPassKey = nullptr;
    HWND cbStatus = nullptr;
    HWND edIP = nullptr;
    HWND edName = nullptr;
    HWND edUser = nullptr;
    HWND edPass = nullptr;
    HWND rbCode = nullptr;
    HWND rbOrder = nullptr;

    // The twelve values as the load step found them, and whether it got to
    // the end: after a load that stopped the controls show the layout's values.
    DialogSettings settings_;
    bool loaded_ = false;

    // Registry access of the load step and the save, held here rather than
    // in the handler so that a handler ended by a fault still closes it.
    std::optional<SettingsReadPass> readPass_;
    SettingsWriter writer_;

    HWND windows_[kControlCount] = {};  // every control, by id
    HWND handle_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    HWND savedFocus_ = nullptr;  // the control to give the focus back to on activation
    bool closed_ = false;
    int handlerDepth_ = 0;

};

enum class Kind { Panel, ScrollBox, GroupBox, Label, Button, Edit, ComboBox, CheckBox, RadioButton };

// Font colours; Inherited takes the parent's, up to the dialog's window text.
enum class FontColour { Inherited, Black, Navy, Fuchsia };

// Further properties of a control.
enum Property : unsigned {
    kNoProperty = 0,
    kDisabled = 1u << 0,      // created disabled
    kChecked = 1u << 1,       // check box ticked / radio button selected
    kRightAligned = 1u << 2,  // label text
    kTransparent = 1u << 3,   // label drawn without its own background
    kUpperCase = 1u << 4,     // letters entered turn upper case
    kPasswordChar = 1u << 5,  // characters shown as '*'
    kFixedText = 1u << 6,     // nothing but choosing an entry changes the text
    kSizedToText = 1u << 7,   // label as large as its text in its font, at least
};

struct ControlLayout {
    ControlId id;
    const char* name;
    Kind kind;
    ControlId parent;
    int left, top, width, height;  // pixels at 96 DPI, relative to the parent's client area
    const wchar_t* text;           // caption or initial text; nullptr for none
    FontColour colour;
    int tabOrder;  // among the parent's children; -1 takes no focus
    unsigned properties;
    int maxBytes;                   // typed text limit in ANSI bytes; 0 for none
    const wchar_t* const* entries;  // combo box entries, ended by nullptr
    int entryHeight;                // combo box entry height
    HWND TYKTCanShu::*field;  // nullptr: a control no handler names
    void (TYKTCanShu::*onClick)(HWND sender);
    void (TYKTCanShu::*onKeyPress)(HWND sender, wchar_t& key);
};

}  // namespace ykt::dialog
