// The values of the template variables for one target path: the path
// splitters, the drive test, the level walk and the hash form.
//
// Only "\" separates path components ("/" is ordinary text); GetDirPath also
// stops at ":". None of these touch the file system. The const wchar_t*
// forms read up to the NUL; a null pointer counts as an empty text.
#pragma once

#include "base/strings.h"

// Up to and including the last "\" or ":"; empty when there is neither.
VQWString GetDirPath(const wchar_t* path);
// After the last "\"; the whole path when there is none.
VQWString GetFileName(const wchar_t* path);
// The last component up to its first "."; the whole component without one.
VQWString GetFileTitle(const wchar_t* path);
// After the last "." of the last component; empty when it has none.
VQWString GetFileExt(const wchar_t* path);
// The path cut before the last "." of its last component (unit 0 is never
// taken for that dot); unchanged when there is none.
VQWString GetFullTitle(const wchar_t* path);
// The last component up to its last "."; the whole component without one.
// For a full path this is what GetFullTitle ends with.
VQWString GetFileStem(const wchar_t* path);
// At least two units, unit 1 ":", unit 0 an ASCII letter.
bool HasDrivePrefix(const wchar_t* text);
// ":" -> "^;", "\" -> "^ ", "^" -> "^^": a flat name without "\" or ":"
// from which the text can be recovered.
VQWString ToHashForm(const wchar_t* text);

// GetDirPath without the drive prefix ($dir).
VQWString GetDirWithoutDrive(const wchar_t* path);
// The drive ("C:") when the path has one, else empty ($drive).
VQWString GetDrive(const wchar_t* path);

// A path as a program started in the folder `base` sees it: a relative one
// taken from there, "\x" on its drive, "." and ".." resolved; `base` itself
// when the path is empty. Does not look at the disk.
VQWString ResolvePath(const VQWString& path, const VQWString& base);

// $pre's value from a pre-command's output: one line. The line breaks at the
// end go, and each one inside becomes one space (CR LF, a lone CR and a lone
// LF alike), so that "echo x" gives "x" and not "x" and two spaces.
VQWString FlattenOutput(const VQWString& output);

// The level walk of $level: the directory of `path` without drive and one
// leading "\", with the top `skip` directory names dropped and, when `keep`
// is above 0, only the next `keep` names kept. False when the directory has
// too few levels for that; `result` is then left alone.
bool GetLevelPath(const wchar_t* path, int skip, int keep, VQWString& result);

inline VQWString GetDirPath(const VQWString& path) { return GetDirPath(path.Text()); }
inline VQWString GetFileName(const VQWString& path) { return GetFileName(path.Text()); }
inline VQWString GetFileTitle(const VQWString& path) { return GetFileTitle(path.Text()); }
inline VQWString GetFileExt(const VQWString& path) { return GetFileExt(path.Text()); }
inline VQWString GetFullTitle(const VQWString& path) { return GetFullTitle(path.Text()); }
inline VQWString GetFileStem(const VQWString& path) { return GetFileStem(path.Text()); }
inline bool HasDrivePrefix(const VQWString& text) { return HasDrivePrefix(text.Text()); }
inline VQWString ToHashForm(const VQWString& text) { return ToHashForm(text.Text()); }
inline VQWString GetDirWithoutDrive(const VQWString& path) { return GetDirWithoutDrive(path.Text()); }
inline VQWString GetDrive(const VQWString& path) { return GetDrive(path.Text()); }
inline bool GetLevelPath(const VQWString& path, int skip, int keep, VQWString& result) {
    return GetLevelPath(path.Text(), skip, keep, result);
}
