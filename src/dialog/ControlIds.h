// Control identifiers of the settings dialog, in the order the dialog declares
// its controls. Shared with the tests that drive the dialog as a person would.
#pragma once

namespace ykt::dialog {

enum ControlId : int {
    kForm = 0,  // the dialog itself, as the parent of the top-level controls
    idScrollBox = 2001,  // clear of the ids combo boxes give their own children
    idPanel1,
    idPanel2,
    idGrbEdit,
    idLabel7,
    idLabel16,
    idLabel1,
    idLabel3,
    idLabel5,
    idCbbRate,
    idCbbPort,
    idCbAuto,
    idEdStepSec,
    idLabel4,
    idBtMod,
    idBtOk,
    idBtCancel,
    idLabel2,
    idEdSector,
    idLabel6,
    idEdPassKey,
    idLabel8,
    idCbStatus,
    idLabel9,
    idEdIP,
    idLabel10,
    idEdName,
    idLabel11,
    idEdUser,
    idLabel12,
    idEdPass,
    idGroupBox1,
    idRbCode,
    idRbOrder,
};

inline constexpr int kControlCount = 34;

// Window class of the dialog; its containers are "TPanel" and "TScrollBox".
inline constexpr const wchar_t* kFormClassName = L"TYKTCanShu";

}  // namespace ykt::dialog
