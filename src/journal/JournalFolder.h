// Where the journal lives: Velbrook\Vb_Ykt\journal under the common
// application data folder (C:\Documents and Settings\All Users\Application
// Data on XP, C:\ProgramData from Vista on), and its making.
#pragma once

#include <optional>
#include <string>

namespace ykt::journal {

// The folder without a trailing backslash; nothing when Windows cannot say
// where the common application data folder is. Asked of shell32 at the first
// use in the process, not at load.
std::optional<std::wstring> JournalFolder();

// The folder and its parents, the folder itself with FolderSecurity. True
// when it exists afterwards (made now or before; rules of a folder made
// before are left as they are).
bool MakeJournalFolder(const std::wstring& folder);

}  // namespace ykt::journal
