#include "app/output_window.h"

#include "app/entry_text.h"
#include "app/main_window.h"
#include "engine/run_report.h"

const wchar_t kOutputCutMark[] = L"――――― ここで出力が切れています（これより後は保存されていません） ―――――";

VQWString OutputReport(const TargetEntry& entry, const EntryResult* result, TargetStatus status) {
    VQWString text;
    auto add = [&text](const VQWString& piece) { text.Append(piece); };
    add(L"ファイル: ");
    add(entry.path);
    if (!entry.root.IsEmpty()) {
        add(L"\nルート: ");
        add(entry.root);
    }
    add(L"\n結果: ");
    add(StatusText(status));
    if (!result) {
        add(L"\n\nこのファイルはまだ実行されていません。\n");
        return text;
    }
    if (!result->errorText.IsEmpty()) {
        add(L"\nメッセージ: ");
        add(result->errorText);
    }
    add(L"\n\n先行コマンド: ");
    add(result->preLine.IsEmpty() ? VQWString(L"-") : result->preLine);
    add(L"\nコマンド: ");
    add(result->commandLine.IsEmpty() ? VQWString(L"-") : result->commandLine);
    add(L"\n終了コード: 先行コマンド ");
    add(StepExitCodeText(result->preEnded, result->preExitCode));
    add(L" / コマンド ");
    add(StepExitCodeText(result->commandEnded, result->commandExitCode));
    const SYSTEMTIME& t = result->startTime;
    if (t.wYear != 0) {
        add(VQWString().Format(L"\n開始: %04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                               t.wSecond));
    }
    add(VQWString().Format(L"\n試行回数: %d", result->tries));
    if (!result->outputPath.IsEmpty()) {
        add(L"\n出力先: ");
        add(result->outputPath);
        if (result->outputDeleted) add(L"（失敗したため削除しました）");
    }
    add(L"\n所要時間: ");
    add(SecondsText(result->milliseconds, 3));
    add(L"\n\n出力:\n");
    add(result->output.IsEmpty() ? VQWString(L"（保存された出力はありません）") : result->output);
    if (result->outputCut) {
        add(L"\n");
        add(kOutputCutMark);
    }
    add(L"\n");
    return text;
}

void OutputWindow::Show(MainWindow& window, int index) {
    TargetListModel& model = window.Targets();
    if (index < 0 || index >= model.GetCount()) return;
    VQWString path = model.PathAt(index);
    // Found again by its path: the entry may have moved, or left the list.
    auto report = [&window, path]() {
        TargetListModel& list = window.Targets();
        int at = list.Find(path);
        if (at < 0) {
            VQWString gone = path;
            gone.Append(L"\n\nこのファイルはもうリストにありません。");
            return gone;
        }
        return OutputReport(list.At(at), list.ResultOf(at), window.EntryStatus(at));
    };
    VQWString caption;
    caption.Format(L"出力 - %s", NameOfPath(path).Text());
    viewer.Show(window.handle, caption, report(), report, L"更新(&R)");
}
