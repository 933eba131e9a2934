#include "app/entry_text.h"

#include "engine/run_report.h"

VQWString SecondsText(DWORD milliseconds, int decimals) {
    unsigned long whole = static_cast<unsigned long>(milliseconds / 1000);
    unsigned long part = static_cast<unsigned long>(milliseconds % 1000);
    if (decimals == 3) return VQWString().Format(L"%lu.%03lu 秒", whole, part);
    return VQWString().Format(L"%lu.%02lu 秒", whole, part / 10);
}

VQWString StepExitCodeText(bool ended, DWORD code) { return ended ? FormatExitCode(code) : VQWString(L"-"); }

VQWString DescribeEntry(const EntryResult& result) {
    VQWString text(StatusText(result.status));
    if (result.preEnded || result.commandEnded) {
        VQWString codes;
        codes.Format(L"　終了コード %s / %s", StepExitCodeText(result.preEnded, result.preExitCode).Text(),
                     StepExitCodeText(result.commandEnded, result.commandExitCode).Text());
        text.Append(codes);
    }
    if (result.status != TargetStatus::NotRun) {
        text.Append(L"　");
        text.Append(SecondsText(result.milliseconds));
    }
    if (result.tries > 1) {
        VQWString tries;
        tries.Format(L"　試行 %d 回", result.tries);
        text.Append(tries);
    }
    if (!result.firstLine.IsEmpty()) {
        text.Append(L"　");
        text.Append(result.firstLine);
    }
    if (!result.outputPath.IsEmpty()) {
        text.Append(L"　出力: ");
        text.Append(result.outputPath);
        if (result.outputDeleted) text.Append(L"（削除しました）");
    }
    return text;
}
