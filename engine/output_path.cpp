#include "engine/output_path.h"

#include "base/files.h"
#include "engine/file_variables.h"
#include "engine/template.h"

namespace {

int64_t Ticks(const FILETIME& t) { return static_cast<int64_t>((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime); }

bool IsDriveRoot(const VQWString& path) {
    return HasDrivePrefix(path) && (path.GetLength() == 2 || (path.GetLength() == 3 && path.GetAt(2) == L'\\'));
}

// \\server or \\server\share, with or without a closing "\": no file's name.
bool IsShareRoot(const VQWString& path) {
    if (path.GetLength() < 3 || path.GetAt(0) != L'\\' || path.GetAt(1) != L'\\') return false;
    int separators = 0;
    for (int i = 2; i < path.GetLength(); ++i) {
        if (path.GetAt(i) == L'\\' && i + 1 < path.GetLength()) ++separators;
    }
    return separators < 2;
}

}  // namespace

bool ExpandOutputPath(const VQWString& outputTemplate, const VQWString& target, const VQWString& root,
                      const VQWString& directory, VQWString& output, VQWString& errorText) {
    VQWString text = outputTemplate;
    VQTemplateContext context;
    context.root = root;
    context.forOutput = true;
    context.hasOutput = true;
    if (!ExpandTemplate(text, target, VQWString(), context, errorText, kMaxCommandLineUnits)) return false;
    if (text.Trim().IsEmpty()) {
        errorText.Format(L"出力先が空になります。\n%s", outputTemplate.Text());
        return false;
    }
    // Characters no file name may hold; a \\?\ prefix has its own "?".
    int start = text.GetLength() >= 4 && text.Left(4).Equals(L"\\\\?\\") ? 4 : 0;
    for (int i = start; i < text.GetLength(); ++i) {
        wchar_t c = text.GetAt(i);
        bool driveColon = c == L':' && i == start + 1 && HasDrivePrefix(text.Text() + start);
        if ((c < 0x20 || wcschr(L"<>:\"|?*", c)) && !driveColon) {
            if (c < 0x20) {
                errorText.Format(L"出力先に使えない文字（制御文字 0x%02X）があります。\n%s", static_cast<unsigned>(c),
                                 text.Text());
            } else {
                errorText.Format(L"出力先に使えない文字 %c があります。\n%s", c, text.Text());
            }
            return false;
        }
    }
    wchar_t last = text.GetAt(text.GetLength() - 1);
    if (last == L'\\' || last == L'/') {
        errorText.Format(L"出力先がフォルダの形です（ファイル名がありません）。\n%s", text.Text());
        return false;
    }
    VQWString full = ResolvePath(text, directory);
    if (IsDriveRoot(full) || IsShareRoot(full) || GetFileName(full).IsEmpty()) {
        errorText.Format(L"出力先がドライブだけです。\n%s", text.Text());
        return false;
    }
    output = full;
    return true;
}

VQWString OutputIsFolderMessage(const VQWString& output) {
    VQWString message;
    message.Format(L"出力先がフォルダです。\n%s", output.Text());
    return message;
}

OutputState ReadOutputState(const VQWString& path) {
    OutputState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.IsEmpty() || !GetFileAttributesExW(SystemForm(path).Text(), GetFileExInfoStandard, &data)) return state;
    state.exists = true;
    state.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    state.written = data.ftLastWriteTime;
    state.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return state;
}

bool IsUpToDate(const FILETIME& sourceWritten, const FILETIME& outputWritten) {
    return Ticks(outputWritten) + kTimeStampSlack100ns >= Ticks(sourceWritten);
}

bool ChangedDuringSteps(const OutputState& before, const OutputState& now) {
    if (!now.exists || now.folder) return false;
    if (!before.exists || before.folder) return true;
    return Ticks(before.written) != Ticks(now.written) || before.size != now.size;
}

bool WrittenDuringSteps(const OutputState& before, const OutputState& now, const FILETIME& stepsBegan) {
    if (!now.exists || now.folder) return false;
    return ChangedDuringSteps(before, now) || Ticks(now.written) + kTimeStampSlack100ns >= Ticks(stepsBegan);
}

bool CreateOutputFolder(const VQWString& output, DWORD& error) {
    error = 0;
    VQWString folder = GetDirPath(output);
    while (folder.GetLength() > 1 && folder.GetAt(folder.GetLength() - 1) == L'\\') {
        folder = folder.Left(folder.GetLength() - 1);
    }
    if (folder.IsEmpty() || IsDriveRoot(folder) || IsShareRoot(folder)) return true;
    OutputState state = ReadOutputState(folder);
    if (state.exists) {
        if (state.folder) return true;
        error = ERROR_FILE_EXISTS;
        return false;
    }
    if (!CreateOutputFolder(folder, error)) return false;
    if (CreateDirectoryW(SystemForm(folder).Text(), nullptr)) return true;
    error = GetLastError();
    // Made by another slot in the meantime.
    if (error == ERROR_ALREADY_EXISTS) {
        state = ReadOutputState(folder);
        if (state.folder) {
            error = 0;
            return true;
        }
        error = ERROR_FILE_EXISTS;
    }
    return false;
}
