#include "engine/run_report.h"

#include <algorithm>
#include <vector>

#include "base/files.h"

namespace {

std::string Utf8(const wchar_t* text, int units) {
    if (units <= 0) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, &out[0], bytes, nullptr, nullptr);
    return out;
}

// A field is quoted when it holds a separator, a quote or a line end; quotes
// double. One that a spreadsheet would take for a formula (a converter's
// "=HYPERLINK(...)" would become a live one) gets a "'", which makes it text.
void AppendField(std::string& row, const std::string& value, bool last = false) {
    bool formula = !value.empty() && std::string("=+-@\t\r").find(value[0]) != std::string::npos;
    std::string cell = formula ? "'" + value : value;
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        row += cell;
    } else {
        row += '"';
        for (char c : cell) {
            if (c == '"') row += '"';
            row += c;
        }
        row += '"';
    }
    row += last ? "\r\n" : ",";
}

void AppendField(std::string& row, const VQWString& value, bool last = false) {
    AppendField(row, Utf8(value.Text(), value.GetLength()), last);
}

std::string StepCode(const StepRecord& step) {
    if (!step.ended) return std::string();
    VQWString code = FormatExitCode(step.exitCode);
    return Utf8(code.Text(), code.GetLength());
}

bool IsResultsFileName(const wchar_t* name) {
    // YYYYMMDD-HHMMSS, then ".csv" or "-N.csv".
    for (int i = 0; i < 15; ++i) {
        wchar_t c = name[i];
        if (i == 8 ? c != L'-' : (c < L'0' || c > L'9')) return false;
    }
    const wchar_t* rest = name + 15;
    if (*rest == L'-') {
        ++rest;
        if (*rest < L'0' || *rest > L'9') return false;
        while (*rest >= L'0' && *rest <= L'9') ++rest;
    }
    return _wcsicmp(rest, L".csv") == 0;
}

// Results files are named by the start of their run; a suffix (-2, -3, ...)
// is a later run of the same second, and comes after its plain name.
bool IsOlderResultsFile(const std::wstring& a, const std::wstring& b) {
    int second = a.compare(0, 15, b, 0, 15);
    if (second != 0) return second < 0;
    auto number = [](const std::wstring& name) { return name[15] == L'-' ? _wtoi(name.c_str() + 16) : 1; };
    return number(a) < number(b);
}

void RemoveOldResults(const VQWString& folder, int keep) {
    std::vector<std::wstring> names = FindResultsFiles(folder);
    for (size_t i = 0; i + keep < names.size(); ++i) {
        std::wstring path = std::wstring(folder.Text()) + L"\\" + names[i];
        DeleteFileW(path.c_str());
    }
}

}  // namespace

void AppendCsvField(std::string& row, const VQWString& value, bool last) { AppendField(row, value, last); }

std::vector<std::wstring> FindResultsFiles(const VQWString& folder) {
    std::vector<std::wstring> names;
    if (folder.IsEmpty()) return names;
    VQWString pattern = folder;
    pattern.Append(L"\\*.csv");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.Text(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsResultsFileName(found.cFileName)) {
            names.push_back(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), IsOlderResultsFile);
    return names;
}

VQWString FindNewestResultsFile(const VQWString& folder) {
    std::vector<std::wstring> names = FindResultsFiles(folder);
    if (names.empty()) return VQWString();
    VQWString path = folder;
    path.Append(L'\\');
    path.Append(names.back().c_str());
    return path;
}

VQWString FormatExitCode(DWORD code) {
    VQWString text;
    if (code > 0xFFFF) {
        text.Format(L"0x%08lX", static_cast<unsigned long>(code));
    } else {
        text.Format(L"%lu", static_cast<unsigned long>(code));
    }
    return text;
}

VQWString FirstLine(const VQWString& text) {
    int length = text.GetLength();
    int start = 0;
    while (start < length) {
        int end = start;
        while (end < length && text.GetAt(end) != L'\r' && text.GetAt(end) != L'\n') ++end;
        if (end > start) return text.Mid(start, end - start);
        start = end + 1;
    }
    return VQWString();
}

VQWString LastLine(const VQWString& text, int maxUnits) {
    int end = text.GetLength();
    while (end > 0) {
        int start = end;
        while (start > 0 && text.GetAt(start - 1) != L'\r' && text.GetAt(start - 1) != L'\n') --start;
        if (start < end) {
            if (end - start <= maxUnits) return text.Mid(start, end - start);
            VQWString cut = text.Mid(start, maxUnits);
            cut.Append(L"…");
            return cut;
        }
        end = start - 1;
    }
    return VQWString();
}

const wchar_t* StatusText(TargetStatus status) {
    switch (status) {
    case TargetStatus::NotRun: return L"未実行";
    case TargetStatus::Running: return L"実行中";
    case TargetStatus::Done: return L"完了";
    case TargetStatus::LaunchFailed: return L"起動失敗";
    case TargetStatus::TemplateError: return L"テンプレートエラー";
    case TargetStatus::ReadFailed: return L"出力の読み込み失敗";
    case TargetStatus::Stopped: return L"停止";
    case TargetStatus::NonZeroExit: return L"終了コード異常";
    case TargetStatus::Crashed: return L"異常終了";
    case TargetStatus::TimedOut: return L"時間切れ";
    case TargetStatus::Skipped: return L"スキップ";
    case TargetStatus::NoOutput: return L"出力なし";
    case TargetStatus::OutputFolderFailed: return L"出力先エラー";
    }
    return L"";
}

std::string FormatResultsCsv(const VQArray<VQWString, VQWString>& targets, const TargetRecord* records, int count,
                             const VQWString& notes, const VQWString& summary) {
    std::string csv = "\xEF\xBB\xBF";
    AppendField(csv, VQWString(L"番号"));
    AppendField(csv, VQWString(L"対象ファイル"));
    AppendField(csv, VQWString(L"結果"));
    AppendField(csv, VQWString(L"試行回数"));
    AppendField(csv, VQWString(L"先行コマンドの終了コード"));
    AppendField(csv, VQWString(L"コマンドの終了コード"));
    AppendField(csv, VQWString(L"開始時刻"));
    AppendField(csv, VQWString(L"秒"));
    AppendField(csv, VQWString(L"先行コマンド"));
    AppendField(csv, VQWString(L"コマンド"));
    AppendField(csv, VQWString(L"出力"));
    AppendField(csv, VQWString(L"エラーまたは出力の最初の行"), true);
    for (int i = 0; i < count && i < targets.GetCount(); ++i) {
        const TargetRecord& record = records[i];
        TargetStatus status = record.Status();
        bool begun = status != TargetStatus::NotRun;
        AppendField(csv, std::to_string(i + 1));
        AppendField(csv, targets[i]);
        AppendField(csv, VQWString(StatusText(status)));
        AppendField(csv, record.tries > 0 ? std::to_string(record.tries) : std::string());
        AppendField(csv, StepCode(record.pre));
        AppendField(csv, StepCode(record.command));
        std::string started, seconds;
        if (begun) {
            const SYSTEMTIME& t = record.startTime;
            char buffer[64];
            wsprintfA(buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                      t.wSecond);
            started = buffer;
            wsprintfA(buffer, "%lu.%03lu", static_cast<unsigned long>(record.milliseconds / 1000),
                      static_cast<unsigned long>(record.milliseconds % 1000));
            seconds = buffer;
        }
        AppendField(csv, started);
        AppendField(csv, seconds);
        AppendField(csv, record.pre.commandLine);
        AppendField(csv, record.command.commandLine);
        VQWString output = record.outputPath;
        if (record.outputDeleted) output.Append(L"（削除しました）");
        AppendField(csv, output);
        AppendField(csv, record.errorText.IsEmpty() ? FirstLine(record.output) : FirstLine(record.errorText), true);
    }
    for (int start = 0; start < notes.GetLength();) {
        int end = start;
        while (end < notes.GetLength() && notes.GetAt(end) != L'\n') ++end;
        if (end > start) AppendField(csv, notes.Mid(start, end - start), true);
        start = end + 1;
    }
    if (!summary.IsEmpty()) AppendField(csv, summary, true);
    return csv;
}

VQWString WriteResultsFile(const VQWString& folder, const SYSTEMTIME& t, const std::string& csv, int keep) {
    if (folder.IsEmpty() || !CreateFolders(folder)) return VQWString();
    VQWString path;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 1; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        VQWString name;
        if (attempt == 1) {
            name.Format(L"%04d%02d%02d-%02d%02d%02d.csv", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        } else {
            name.Format(L"%04d%02d%02d-%02d%02d%02d-%d.csv", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                        t.wSecond, attempt);
        }
        path = folder;
        path.Append(L'\\');
        path.Append(name);
        // CREATE_NEW: two runs in one second never share a file.
        file = CreateFileW(path.Text(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return VQWString();
    }
    if (file == INVALID_HANDLE_VALUE) return VQWString();
    bool ok = true;
    size_t done = 0;
    while (ok && done < csv.size()) {
        DWORD piece = csv.size() - done > (1u << 20) ? (1u << 20) : static_cast<DWORD>(csv.size() - done);
        DWORD written = 0;
        ok = WriteFile(file, csv.data() + done, piece, &written, nullptr) && written == piece;
        done += written;
    }
    ok = CloseHandle(file) && ok;
    if (!ok) {
        DeleteFileW(path.Text());
        return VQWString();
    }
    RemoveOldResults(folder, keep);
    return path;
}
