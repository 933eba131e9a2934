#include "app/adding_messages.h"

#include "engine/run_summary.h"

namespace {

// The lines that name what a folder search passed over, each after a line
// break; empty when it passed over nothing.
VQWString PassedOverLines(const VQFolderSearch& search) {
    VQWString text;
    if (search.linksPassed > 0) {
        VQWString line;
        line.Format(L"\nフォルダのリンク（ジャンクション、シンボリックリンク）: %d 個", search.linksPassed);
        text.Append(line);
    }
    if (search.unopenableNames > 0) {
        VQWString line;
        line.Format(L"\nWindows で開けない名前（CON、AUX.log、末尾が「.」や空白の名前など）: %d 件",
                    search.unopenableNames);
        text.Append(line);
    }
    return text;
}

const wchar_t* ReasonLabel(VQSkipReason reason) {
    switch (reason) {
    case VQSkipReason::Missing: return L"存在しないパス";
    case VQSkipReason::Long: return L"長すぎる行（32,767 文字を超える）";
    case VQSkipReason::Nul: return L"NUL 文字を含む行";
    case VQSkipReason::Unopenable: return L"Windows で開けない名前（CON、AUX.log、末尾が「.」や空白の名前など）";
    }
    return L"";
}

// The count by reason and the first lines left out.
VQWString SkippedLines(const VQTargetList& list) {
    VQWString text;
    text.Format(L"リストファイルの %d 行を読み飛ばしました。", list.SkippedLines());
    struct Reason {
        int lines;
        VQSkipReason reason;
    };
    const Reason reasons[] = {
        {list.missingLines, VQSkipReason::Missing},
        {list.longLines, VQSkipReason::Long},
        {list.nulLines, VQSkipReason::Nul},
        {list.unopenableLines, VQSkipReason::Unopenable},
    };
    for (const Reason& reason : reasons) {
        if (reason.lines == 0) continue;
        VQWString line;
        line.Format(L"\n%s: %d 行", ReasonLabel(reason.reason), reason.lines);
        text.Append(line);
    }
    text.Append(L"\n");
    for (const VQSkippedLine& skipped : list.firstSkipped) {
        VQWString line;
        line.Format(L"\n%d 行目: %s", skipped.number, skipped.text.Text());
        text.Append(line);
    }
    if (list.SkippedLines() > static_cast<int>(list.firstSkipped.size())) text.Append(L"\n…");
    return text;
}

}  // namespace

VQWString FoundText(int found) {
    return VQWString().Format(L"ファイルを探しています… %s 件", FormatGroupedNumber(found).Text());
}

VQWString CheckingText(int checked, int total) {
    return VQWString().Format(L"リストと照らし合わせています… %s / %s 件", FormatGroupedNumber(checked).Text(),
                              FormatGroupedNumber(total).Text());
}

VQWString OtherExtensionsText(int count) {
    return VQWString().Format(L"対象の拡張子に合わない %s 件を追加しませんでした", FormatGroupedNumber(count).Text());
}

VQWString PassedOverMessage(const VQFolderSearch& search) {
    VQWString lines = PassedOverLines(search);
    if (lines.IsEmpty()) return lines;
    VQWString text(L"フォルダの中の次のものは追加しませんでした。");
    text.Append(lines);
    return text;
}

VQWString SkippedLinesMessage(const VQTargetList& list) {
    VQWString text;
    if (list.SkippedLines() > 0) text = SkippedLines(list);
    VQWString passed = PassedOverLines(list.search);
    if (!passed.IsEmpty()) {
        if (!text.IsEmpty()) text.Append(L"\n\n");
        text.Append(L"リストのフォルダの中の次のものは追加しませんでした。");
        text.Append(passed);
    }
    return text;
}
