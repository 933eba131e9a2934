#include "engine/run_plan.h"

#include <cwchar>
#include <string>
#include <unordered_set>

#include "base/files.h"
#include "engine/output_path.h"
#include "engine/run_report.h"
#include "engine/template.h"

const wchar_t kPlanPreOutput[] = L"‹先行コマンドの出力›";

namespace {

std::string Utf8(const VQWString& text) {
    int units = text.GetLength();
    if (units <= 0) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.Text(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.Text(), units, &out[0], bytes, nullptr, nullptr);
    return out;
}

// Expands as the run does; false with the message.
bool Expand(const VQWString& templateText, const PlanTarget& target, const VQWString& preOutput,
            const VQTemplateContext& context, VQWString& line, VQWString& error) {
    line = templateText.DeepCopy();
    return ExpandTemplate(line, target.path, preOutput, context, error, kMaxCommandLineUnits);
}

// A folder as the file system compares names, without regard to case.
std::wstring FoldedKey(const VQWString& folder) {
    std::wstring key(folder.Text(), static_cast<size_t>(folder.GetLength()));
    if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

}  // namespace

std::vector<PlanRow> MakePlan(const PlanJob& job, const std::vector<PlanTarget>& targets) {
    std::vector<PlanRow> rows;
    rows.reserve(targets.size());
    for (const PlanTarget& target : targets) {
        PlanRow row;
        row.target = target.path;
        row.directory = job.directory;
        VQWString error;
        VQTemplateContext context;
        context.root = target.root;
        context.hasOutput = !job.outputTemplate.IsEmpty();
        bool ok = true;
        if (context.hasOutput) {
            ok = ExpandOutputPath(job.outputTemplate, target.path, target.root, job.directory, row.output, error);
            context.output = row.output;
        }
        if (ok && !job.preCommand.IsEmpty()) ok = Expand(job.preCommand, target, VQWString(), context, row.preLine, error);
        if (ok) ok = Expand(job.command, target, VQWString(kPlanPreOutput), context, row.commandLine, error);
        if (!ok) row.error = error;
        rows.push_back(row);
    }
    return rows;
}

std::vector<PlanRow> MakePlan(const PlanJob& job, const std::vector<VQWString>& targets) {
    std::vector<PlanTarget> plain;
    for (const VQWString& path : targets) plain.push_back(PlanTarget{path, VQWString()});
    return MakePlan(job, plain);
}

bool UsesPreOutput(const VQWString& commandTemplate) {
    VQWString line = commandTemplate.DeepCopy();
    VQWString error;
    std::vector<VQInsertedValue> inserted;
    ExpandTemplate(line, VQWString(L"C:\\a.txt"), VQWString(L"x"), error, -1, nullptr, &inserted);
    for (const VQInsertedValue& value : inserted) {
        if (wcscmp(value.variable, L"pre") == 0) return true;
    }
    return false;
}

std::string FormatPlanCsv(const std::vector<PlanRow>& rows) {
    std::string csv = "\xEF\xBB\xBF";
    const wchar_t* const header[] = {L"番号", L"対象ファイル", L"先行コマンド", L"コマンド",
                                     L"出力", L"カレントディレクトリ", L"エラー"};
    for (size_t i = 0; i < sizeof header / sizeof header[0]; ++i) {
        AppendCsvField(csv, VQWString(header[i]), i + 1 == sizeof header / sizeof header[0]);
    }
    int number = 0;
    for (const PlanRow& row : rows) {
        VQWString index;
        AppendCsvField(csv, index.Format(L"%d", ++number));
        AppendCsvField(csv, row.target);
        AppendCsvField(csv, row.preLine);
        AppendCsvField(csv, row.commandLine);
        AppendCsvField(csv, row.output);
        AppendCsvField(csv, row.directory);
        AppendCsvField(csv, row.error, true);
    }
    return csv;
}

bool BatchLine(const VQWString& line, VQWString& out) {
    out = L"";
    bool quoted = false;
    for (int i = 0; i < line.GetLength(); ++i) {
        wchar_t c = line.GetAt(i);
        if (c == L'\r' || c == L'\n' || c == L'\0' || c == 0x1A) return false;
        if (c == L'"') quoted = !quoted;
        if (c == L'%') {
            // A batch file reads "%%" as one "%", inside quotes too.
            out.Append(L"%%");
            continue;
        }
        if (!quoted && wcschr(L"&|<>^()", c)) out.Append(L'^');
        out.Append(c);
    }
    return true;
}

bool FormatPlanBatch(const std::vector<PlanRow>& rows, bool usesPre, const VQWString& madeBy, const SYSTEMTIME& when,
                     std::string& batch, VQWString& reason) {
    batch.clear();
    if (usesPre) {
        reason = L"コマンドが $pre を使うため、バッチファイルには書き出せません（先行コマンドの出力は実行しないとわかりません）。";
        return false;
    }
    VQWString text(L"@chcp 65001 >nul\r\n@echo off\r\n");
    VQWString line;
    VQWString remark;
    remark.Format(L"rem %s が %04d-%02d-%02d %02d:%02d:%02d に書き出した実行予定です（%d 件）。", madeBy.Text(),
                  when.wYear, when.wMonth, when.wDay, when.wHour, when.wMinute, when.wSecond,
                  static_cast<int>(rows.size()));
    VQWString safe;
    // A remark is read by cmd too: "%" in a name would be expanded there.
    if (!BatchLine(remark, safe)) safe = L"rem";
    text.Append(safe);
    text.Append(L"\r\n");
    VQWString directory;
    std::unordered_set<std::wstring> foldersMade;
    bool first = true;
    int number = 0;
    for (const PlanRow& row : rows) {
        ++number;
        if (!row.error.IsEmpty()) {
            reason.Format(L"%d 件目のコマンドを展開できないため、バッチファイルには書き出せません。\n%s\n%s", number,
                          row.target.Text(), row.error.Text());
            return false;
        }
        if (first || !(row.directory == directory)) {
            if (!row.directory.IsEmpty()) {
                VQWString change;
                change.Format(L"cd /d \"%s\"", row.directory.Text());
                if (!BatchLine(change, line)) return false;
                text.Append(line);
                text.Append(L"\r\n");
            }
            directory = row.directory;
            first = false;
        }
        // The run makes the output's folder before the file's first step.
        VQWString folder = row.output.IsEmpty() ? VQWString() : OutputFolderOf(row.output);
        if (!folder.IsEmpty() && foldersMade.insert(FoldedKey(folder)).second) {
            VQWString make;
            make.Format(L"if not exist \"%s\\\" mkdir \"%s\"", folder.Text(), folder.Text());
            if (!BatchLine(make, line)) return false;
            text.Append(line);
            text.Append(L"\r\n");
        }
        const VQWString* lines[] = {&row.preLine, &row.commandLine};
        for (const VQWString* each : lines) {
            if (each->IsEmpty()) continue;
            if (!BatchLine(*each, line)) {
                reason.Format(L"%d 件目のコマンドに改行が含まれるため、バッチファイルには書き出せません。\n%s", number,
                              row.target.Text());
                return false;
            }
            text.Append(line);
            text.Append(L"\r\n");
        }
    }
    batch = Utf8(text);
    reason = L"";
    return true;
}

bool WritePlanFile(const VQWString& path, const std::string& bytes) {
    return ReplaceWholeFile(SystemForm(path).Text(), [&](const wchar_t* tempPath) {
        HANDLE file = CreateFileW(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        bool ok = bytes.empty() ||
                  (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                   written == bytes.size());
        ok = FlushFileBuffers(file) && ok;
        return CloseHandle(file) && ok;
    });
}
