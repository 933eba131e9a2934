#include "engine/run_summary.h"

#include "engine/run_report.h"

RunSummary SummarizeRecords(const TargetRecord* records, int count) {
    RunSummary summary;
    for (int i = 0; records && i < count; ++i) {
        TargetStatus status = records[i].Status();
        if (status == TargetStatus::Done) {
            ++summary.done;
        } else if (status == TargetStatus::Skipped) {
            ++summary.skipped;
        } else if (IsFailure(status)) {
            ++summary.failed;
        } else if (status == TargetStatus::Stopped) {
            ++summary.stopped;
        } else {
            ++summary.notRun;
        }
    }
    return summary;
}

VQWString FormatGroupedNumber(long long value) {
    bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                            : static_cast<unsigned long long>(value);
    wchar_t digits[32];
    int n = 0;
    do {
        if (n > 0 && n % 4 == 3) digits[n++] = L',';
        digits[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    VQWString text;
    if (negative) text.Append(L'-');
    while (n > 0) text.Append(digits[--n]);
    return text;
}

VQWString FormatSummary(const RunSummary& s) {
    VQWString text;
    auto part = [&text](const wchar_t* word, int count) {
        if (!text.IsEmpty()) text.Append(L"、");
        text.Append(word);
        text.Append(L' ');
        text.Append(FormatGroupedNumber(count));
        text.Append(L" 件");
    };
    part(L"完了", s.done);
    if (s.skipped != 0) part(L"スキップ", s.skipped);
    part(L"失敗", s.failed);
    if (s.stopped != 0) part(L"停止", s.stopped);
    part(L"未実行", s.notRun);
    return text;
}

std::vector<VQWString> ListFailures(const VQArray<VQWString, VQWString>& targets, const TargetRecord* records,
                                    int count, int maxShown, int* more) {
    std::vector<VQWString> lines;
    int left = 0;
    for (int i = 0; records && i < count && i < targets.GetCount(); ++i) {
        TargetStatus status = records[i].Status();
        if (!IsFailure(status)) continue;
        if (static_cast<int>(lines.size()) >= maxShown) {
            ++left;
            continue;
        }
        VQWString reason = FirstLine(records[i].errorText);
        if (reason.IsEmpty()) reason = StatusText(status);
        VQWString line = targets[i];
        line.Append(L": ");
        line.Append(reason);
        lines.push_back(line);
    }
    if (more) *more = left;
    return lines;
}
