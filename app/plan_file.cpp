#include "app/plan_file.h"

#include <windows.h>

#include "app/resource.h"

namespace {

bool EndsWithNoCase(const wchar_t* text, const wchar_t* tail) {
    size_t length = wcslen(text), tailLength = wcslen(tail);
    return length >= tailLength && _wcsicmp(text + length - tailLength, tail) == 0;
}

}  // namespace

bool WritePlan(const PlanInputs& inputs, const wchar_t* path, VQWString& error) {
    if (inputs.targets.empty()) {
        error = L"対象ファイルを指定してください。";
        return false;
    }
    if (inputs.job.command.IsEmpty()) {
        error = L"コマンドを入力してください。";
        return false;
    }
    std::vector<PlanRow> rows = MakePlan(inputs.job, inputs.targets);
    std::string bytes;
    if (path && EndsWithNoCase(path, L".cmd")) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        VQWString madeBy(L"Quenbrix " QUENBRIX_VERSION_TEXT);
        if (!inputs.jobName.IsEmpty()) madeBy.Append(VQWString().Format(L"（ジョブ「%s」）", inputs.jobName.Text()));
        if (!FormatPlanBatch(rows, UsesPreOutput(inputs.job.command), madeBy, now, bytes, error)) return false;
    } else {
        bytes = FormatPlanCsv(rows);
    }
    if (!path || !WritePlanFile(VQWString(path), bytes)) {
        error.Format(L"実行予定を保存できませんでした。\n%s", path ? path : L"");
        return false;
    }
    return true;
}
