#include "engine/run_report.h"

#include <algorithm>
#include <cwchar>
#include <string>
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

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Words that tools print when something went wrong, in any case, each at the
// start of a word: "terror" is none, but "ZeroDivisionError" has one.
const wchar_t* const kErrorWords[] = {L"error",   L"fail",      L"fatal",   L"cannot",       L"can't",
                                      L"can not", L"could not", L"couldn't", L"unable",      L"not found",
                                      L"no such", L"denied",    L"invalid", L"exception",    L"abort",
                                      L"unknown", L"unrecognized"};
// Japanese ones, anywhere in the line.
const wchar_t* const kJapaneseErrorWords[] = {L"エラー", L"失敗", L"できません", L"見つかりません", L"拒否",
                                              L"無効"};
// The words of a line that only counts ("1 error", "Build failed with 2 errors", "Scan WARNINGS: 1").
const wchar_t* const kCountWords[] = {L"error", L"errors", L"warning", L"warnings", L"fail",   L"failed",
                                      L"failure", L"failures", L"scan", L"build",   L"and",    L"with",
                                      L"found",  L"in",       L"file",  L"files",   L"total"};

bool HasWordAt(const wchar_t* line, int length, int at, const wchar_t* word) {
    int n = static_cast<int>(wcslen(word));
    if (at + n > length) return false;
    for (int i = 0; i < n; ++i) {
        if (AsciiLower(line[at + i]) != word[i]) return false;
    }
    if (at == 0 || !IsAsciiLetter(line[at - 1])) return true;
    wchar_t before = line[at - 1];
    return line[at] >= L'A' && line[at] <= L'Z' && before >= L'a' && before <= L'z';
}

bool HasErrorWord(const wchar_t* line, int length) {
    for (int at = 0; at < length; ++at) {
        for (const wchar_t* word : kErrorWords) {
            if (HasWordAt(line, length, at, word)) return true;
        }
    }
    std::wstring text(line, static_cast<size_t>(length));
    for (const wchar_t* word : kJapaneseErrorWords) {
        if (text.find(word) != std::wstring::npos) return true;
    }
    return false;
}

// A count of errors says that there were some, not what they were.
bool IsCountLine(const wchar_t* line, int length) {
    bool digit = false;
    for (int at = 0; at < length;) {
        wchar_t c = line[at];
        if (c >= 0x80) return false;
        if (!IsAsciiLetter(c)) {
            digit = digit || (c >= L'0' && c <= L'9');
            ++at;
            continue;
        }
        int end = at;
        std::wstring word;
        while (end < length && IsAsciiLetter(line[end])) word += AsciiLower(line[end++]);
        bool counts = false;
        for (const wchar_t* known : kCountWords) counts = counts || word == known;
        if (!counts) return false;
        at = end;
    }
    return digit;
}

// A cut never leaves half of a surrogate pair.
VQWString CutLine(const VQWString& line, int maxUnits) {
    if (line.GetLength() <= maxUnits) return line;
    int keep = maxUnits;
    if (keep > 0 && IS_HIGH_SURROGATE(line.GetAt(keep - 1))) --keep;
    VQWString cut = line.Mid(0, keep);
    cut.Append(L"…");
    return cut;
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

VQWString FailureLine(const VQWString& text, int maxUnits) {
    // The tool's last words are what count: a huge output is looked at in its last part.
    const int kLookedAt = 64 * 1024;
    int floor = text.GetLength() > kLookedAt ? text.GetLength() - kLookedAt : 0;
    const wchar_t* units = text.Text();
    VQWString last;
    int end = text.GetLength();
    while (end > floor) {
        int start = end;
        while (start > floor && units[start - 1] != L'\r' && units[start - 1] != L'\n') --start;
        int from = start, to = end;
        while (from < to && (units[from] == L' ' || units[from] == L'\t')) ++from;
        while (to > from && (units[to - 1] == L' ' || units[to - 1] == L'\t')) --to;
        if (to > from) {
            if (HasErrorWord(units + from, to - from) && !IsCountLine(units + from, to - from)) {
                return CutLine(text.Mid(from, to - from), maxUnits);
            }
            if (last.IsEmpty()) last = text.Mid(from, to - from);
        }
        end = start - 1;
    }
    return CutLine(last, maxUnits);
}

VQWString OutputTail(const VQWString& text, int maxUnits) {
    // Line ends at either end say nothing, and a leading one would cost the cell a "'".
    auto lineEnd = [&text](int at) { return text.GetAt(at) == L'\r' || text.GetAt(at) == L'\n'; };
    int end = text.GetLength();
    while (end > 0 && lineEnd(end - 1)) --end;
    int start = end > maxUnits ? end - maxUnits : 0;
    bool cut = start > 0;
    if (cut && IS_LOW_SURROGATE(text.GetAt(start))) ++start;
    while (start < end && lineEnd(start)) ++start;
    VQWString tail;
    if (cut) tail.Append(L"…");
    tail.Append(text.Mid(start, end - start));
    return tail;
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
    AppendField(csv, VQWString(L"エラーまたは出力の最初の行"));
    // New columns come last: readers of the ones before keep working.
    AppendField(csv, VQWString(L"コマンドの出力の末尾"), true);
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
        AppendField(csv, record.errorText.IsEmpty() ? FirstLine(record.output) : FirstLine(record.errorText));
        AppendField(csv, OutputTail(record.output), true);
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
