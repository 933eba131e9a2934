// 「Quenbrix で実行」 in Explorer's right-click menu on files and folders, for
// the current user only (under HKCU\Software\Classes, no administrator): a
// submenu with an entry that adds the selection to the open window and one
// per named job. Nothing is written unless asked; removing takes away the
// two keys that adding made, with all below them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/strings.h"

struct ExplorerMenuValue {
    std::wstring key;    // below the classes key
    std::wstring name;   // empty: the key's default value
    std::wstring value;  // REG_SZ
};

// Where the entries hang: files (*) and folders (Directory).
extern const wchar_t* const kExplorerMenuKeys[2];

// The values that make the menu for this program and these jobs, in the order written.
std::vector<ExplorerMenuValue> ExplorerMenuValues(const VQWString& exe, const std::vector<VQWString>& jobs);
// A job name as a menu text: "&" would mark the next letter as the entry's key.
VQWString MenuText(const VQWString& name);

enum class ExplorerMenuState {
    kAbsent,
    kCurrent,  // it starts this program
    kMoved,    // it starts a program that is no longer there, or another copy
};
// classesKey: below HKEY_CURRENT_USER ("Software\\Classes"; tests give their own).
ExplorerMenuState ReadExplorerMenuState(const VQWString& exe, const wchar_t* classesKey);
// The program the menu starts, as written; empty when there is none.
VQWString ExplorerMenuProgram(const wchar_t* classesKey);
// Writes the menu anew (what was there before goes first); false when a key
// could not be written (what was written is taken away again).
bool AddExplorerMenu(const VQWString& exe, const std::vector<VQWString>& jobs, const wchar_t* classesKey);
bool RemoveExplorerMenu(const wchar_t* classesKey);

// A shortcut of the Send To folder: its file name there and what it adds to
// the program's command line.
struct SendToShortcut {
    VQWString fileName;   // "Quenbrix.lnk", "Quenbrix - NAME.lnk"
    VQWString arguments;  // empty (the paths are added to the window), or /job "NAME"
};
// The plain shortcut, then with perJob one for each job; a character a file
// name cannot hold is "_" in its file name.
std::vector<SendToShortcut> SendToShortcuts(const std::vector<VQWString>& jobs, bool perJob);
