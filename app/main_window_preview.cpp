// What the templates become before anything runs: the preview under the
// command fields (the expanded lines for one entry of the list, or what
// stops them, in red) and the check of the whole list when Run is pressed.
// Both expand as the run does, so that neither can promise what the run
// then refuses.
#include <windows.h>

#include <algorithm>

#include "app/main_window.h"
#include "engine/child_environment.h"
#include "engine/job_check.h"
#include "engine/template.h"
#include "engine/output_path.h"
#include "win32/dialog_items.h"
#include "win32/message_box.h"
#include "win32/ui_font.h"

namespace {

const COLORREF kPreviewErrorColor = RGB(0xD0, 0x10, 0x10);

// The 1-based place of a unit as a person counts characters: a surrogate
// pair (𠮷 in a name, say) is one.
int CharacterNumber(const VQWString& text, int index) {
    int number = 1;
    for (int i = 0; i < index && i < text.GetLength(); ++i) {
        wchar_t c = text.GetAt(i);
        bool secondHalf = c >= 0xDC00 && c <= 0xDFFF && i > 0 && text.GetAt(i - 1) >= 0xD800 &&
                          text.GetAt(i - 1) <= 0xDBFF;
        if (!secondHalf) ++number;
    }
    return number;
}

struct PreviewedLine {
    VQWString line;   // the expanded command line
    VQWString error;  // what stops it, with the template's name; empty when nothing does
};

// One template expanded for the entry exactly as the run expands it.
// The message of a template that fails, as the preview and the check show it.
VQWString TemplateError(const wchar_t* name, const VQWString& templateText, const VQWString& message, int marker) {
    VQWString error;
    if (marker >= 0) {
        error.Format(L"%s %d 文字目: %s", name, CharacterNumber(templateText, marker), message.Text());
        // A misspelt name is the usual cause: which one, and what was meant.
        VQWString hint = UnknownVariableHint(templateText, marker);
        if (!hint.IsEmpty()) {
            error.Append(L"\n");
            error.Append(hint);
        }
    } else {
        error.Format(L"%s: %s", name, message.Text());
    }
    return error;
}

PreviewedLine Preview(const wchar_t* name, const VQWString& templateText, const VQWString& target,
                      const VQWString& preOutput, const VQTemplateContext& context = VQTemplateContext()) {
    PreviewedLine result;
    result.line = templateText;
    VQWString message;
    int marker = -1;
    if (ExpandTemplate(result.line, target, preOutput, context, message, kMaxCommandLineUnits, &marker)) return result;
    result.error = TemplateError(name, templateText, message, marker);
    return result;
}

// A line that cannot be started as a program: its first word is cmd's own.
// Empty when it can.
VQWString CmdBuiltinWarning(const wchar_t* name, const PreviewedLine& previewed) {
    VQWString word = FindCmdBuiltin(previewed.line);
    VQWString warning;
    if (!word.IsEmpty()) warning.Format(L"%s: %s", name, CmdBuiltinMessage(word).Text());
    return warning;
}

// The question before a run that may lose output; true when the user goes on.
bool AskToGoOn(VQWin32Window* owner, const VQWString& question) {
    return MsgBox(owner, question.Text(), L"確認", VQMB_YESNO, 2) == IDYES;
}

// Targets whose outputs would overwrite each other: the question, then, when
// there are more groups, how many (groupsFormat), then the first group's first two files.
bool AskAboutClash(VQWin32Window* owner, VQWString question, const wchar_t* groupsFormat, size_t groups,
                   const VQArray<VQWString, VQWString>& list, int first, int second) {
    if (groups > 1) {
        VQWString count;
        count.Format(groupsFormat, static_cast<int>(groups));
        question.Append(count);
    }
    question.Append(list[first]);
    question.Append(L"\n");
    question.Append(list[second]);
    return AskToGoOn(owner, question);
}

}  // namespace

void MainWindow::UpdatePreview() {
    VQWin32DialogItem* preview = FindItemById(IDC_PREVIEW);
    VQWin32DialogItemListView* view = TargetList();
    if (!preview || !preview->GetHandle() || !view || !view->GetHandle()) return;
    VQWString preCommandText = EditText(IDC_PRECOMMAND_EDIT);
    VQWString commandText = EditText(IDC_COMMAND_EDIT);
    VQWString text;
    bool failed = false;
    if (targetModel.GetCount() <= 0) {
        text = L"対象ファイルを追加すると、展開したコマンドラインがここに表示されます。";
    } else if (preCommandText.IsEmpty() && commandText.IsEmpty()) {
        text = L"コマンドを入力すると、選択した対象ファイルで展開したコマンドラインがここに表示されます。";
    } else {
        int selected = view->GetSelectedCount() > 0 ? table.FirstSelected() : 0;
        VQWString target = targetModel.PathAt(selected);
        VQTemplateContext context;
        context.root = RootOf(target);
        // The output first: the commands' $out is its path.
        VQWString outputText = EditText(IDC_OUTPUT_EDIT);
        VQWString outputError;
        if (!outputText.IsEmpty()) {
            VQWString message;
            VQWString directory = ResolveDirectory(EditText(IDC_DIRECTORY_EDIT), startDirectory);
            VQTemplateContext outputContext;
            outputContext.root = context.root;
            outputContext.forOutput = true;
            outputContext.hasOutput = true;
            // The template's own errors first, with their place in it.
            outputError = Preview(L"出力先", outputText, target, VQWString(), outputContext).error;
            if (outputError.IsEmpty()) {
                if (!ExpandOutputPath(outputText, target, context.root, directory, context.output, message)) {
                    outputError = TemplateError(L"出力先", outputText, message, -1);
                } else if (ReadOutputState(context.output).folder) {
                    outputError = TemplateError(L"出力先", outputText, OutputIsFolderMessage(context.output), -1);
                }
            }
            context.hasOutput = true;
        }
        // $pre is empty in the pre-command, as in a run; in the command it
        // stands for output that does not exist yet.
        PreviewedLine pre, command;
        if (!preCommandText.IsEmpty()) pre = Preview(L"先行コマンド", preCommandText, target, VQWString(), context);
        if (!commandText.IsEmpty()) {
            command = Preview(L"コマンド", commandText, target, VQWString(kPreOutputPlaceholder), context);
        }
        if (!outputError.IsEmpty() || !pre.error.IsEmpty() || !command.error.IsEmpty()) {
            failed = true;
            text = !outputError.IsEmpty() ? outputError : pre.error.IsEmpty() ? command.error : pre.error;
        } else {
            if (!preCommandText.IsEmpty()) {
                text.Append(L"先行: ");
                text.Append(pre.line);
                if (!commandText.IsEmpty()) text.Append(L"\n");
            }
            if (!commandText.IsEmpty()) {
                text.Append(L"コマンド: ");
                text.Append(command.line);
            }
            if (!outputText.IsEmpty()) {
                text.Append(L"\n出力先: ");
                text.Append(context.output);
            }
            // Under the lines it is about; the run is still allowed.
            VQWString warning;
            if (!preCommandText.IsEmpty()) warning = CmdBuiltinWarning(L"先行コマンド", pre);
            if (warning.IsEmpty() && !commandText.IsEmpty()) warning = CmdBuiltinWarning(L"コマンド", command);
            if (!warning.IsEmpty()) {
                failed = true;
                text.Append(L"\n");
                text.Append(warning);
            }
        }
    }
    previewShowsError = failed;
    // A multi-line edit box breaks lines only at CR LF; the texts here hold LF alone.
    text.ReplaceLineBreaks(VQWString(L"\r\n"));
    preview->SetTextW(text.Text(), false);
    // The colour may change where the text does not.
    InvalidateRect(preview->GetHandle(), nullptr, TRUE);
    FitPreviewToText();
}

void MainWindow::FitPreviewToText() {
    VQWin32DialogItem* preview = FindItemById(IDC_PREVIEW);
    VQWin32DialogItem* table = FindItemById(IDC_TARGET_LIST);
    if (fittingPreview || !preview || !preview->GetHandle() || !table || !table->GetHandle()) return;
    HWND box = preview->GetHandle();
    TEXTMETRICW metrics = VQWin32ControlFontMetrics(box);
    int lineHeight = metrics.tmHeight > 0 ? metrics.tmHeight : 1;
    RECT format = {};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    // The lines the box shows without what it took, and the lines of the text.
    int ownLines = std::max(1, static_cast<int>(format.bottom - format.top - previewGrowth) / lineHeight);
    int lines = static_cast<int>(SendMessageW(box, EM_GETLINECOUNT, 0, 0));
    int growth = std::min(std::max(lines - ownLines, 0), static_cast<int>(kPreviewMoreLines)) * lineHeight;
    int delta = growth - previewGrowth;
    if (delta == 0) return;
    // The table gives the height; what lies between it and the preview moves up with the preview's top.
    const RECT tableRect = table->initialRect, previewRect = preview->initialRect;
    for (int i = 0; i < items.GetCount(); ++i) {
        RECT& rect = items[i]->initialRect;
        if (items[i] == table) {
            rect.bottom -= delta;
        } else if (items[i] == preview) {
            rect.top -= delta;
        } else if (rect.top >= tableRect.bottom && rect.bottom <= previewRect.top) {
            OffsetRect(&rect, 0, -delta);
        }
    }
    previewGrowth = growth;
    fittingPreview = true;
    LayoutDialog();
    fittingPreview = false;
    // The controls moved within a panel that was not resized: what they left is painted anew.
    RedrawWindow(dialogHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    // The first line again: the box showed the end of what it could not hold.
    SendMessageW(box, EM_LINESCROLL, 0, -lines);
}

INT_PTR MainWindow::PreviewColors(HDC dc) {
    // A read-only edit box asks as a static does; its usual face stays.
    SetTextColor(dc, previewShowsError ? kPreviewErrorColor : GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_3DFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
}

bool MainWindow::CheckBeforeRun(const VQWString& preCommandText, const VQWString& commandText,
                                const VQWString& outputText, const std::vector<RunTarget>& targets,
                                std::vector<bool>& skip) {
    skip.clear();
    // An empty list or command is the run's own message.
    if (targets.empty() || commandText.IsEmpty()) return true;
    VQArray<VQWString, VQWString> list;
    list.SetSize(-static_cast<int>(targets.size()));
    for (const RunTarget& target : targets) list.Add(target.path);
    VQWString directory = ResolveDirectory(EditText(IDC_DIRECTORY_EDIT), startDirectory);
    VQTemplateCheck check = CheckJob(preCommandText, commandText, outputText, targets, directory,
                                     IsChecked(IDC_SKIP_UP_TO_DATE_CHECK));
    auto refuse = [&](int index, const VQWString& message) {
        // The entry is shown first: the preview then says what is wrong with it.
        if (VQWin32DialogItemListView* view = TargetList()) view->SelectOnly(index);
        OnListSelectionChanged();
        ShowError(message.Text());
        return false;
    };
    if (check.failedIndex >= 0) {
        VQWString message;
        message.Format(check.outputFailed ? L"対象ファイル: %s\n\n出力先: %s" : L"対象ファイル: %s\n\n%s",
                       list[check.failedIndex].Text(), check.errorText.Text());
        return refuse(check.failedIndex, message);
    }
    // Answering yes would overwrite an input: this one is refused, not asked.
    if (check.outputIsEntry >= 0) {
        VQWString message;
        message.Format(L"出力先が対象ファイルと同じです。\n\n対象ファイル: %s\n出力先: %s",
                       list[check.outputIsEntry].Text(), check.outputs[static_cast<size_t>(check.outputIsEntry)].Text());
        return refuse(check.outputIsEntry, message);
    }
    if (check.outputsCompared) {
        if (!check.clashes.empty()) {
            const VQCommandClash& first = check.clashes[0];
            VQWString question;
            question.Format(L"%d 件の対象が同じ出力先 %s に書き込みます。実行しますか？\n"
                            L"後の対象の出力が前の対象の出力を置き換えます。\n\n",
                            first.count, check.clashOutputs[0].Text());
            if (!AskAboutClash(this, question, L"同じ出力先になる組が %d 組あります。最初の組:\n", check.clashes.size(),
                               list, first.first, first.second)) {
                return false;
            }
        }
    } else if (!check.clashes.empty()) {
        // Lines that differ only in the target's own path count as the same:
        // the question says so.
        const VQCommandClash& first = check.clashes[0];
        VQWString question;
        question.Format(L"%d 件の対象が同じコマンドになります。実行しますか？\n"
                        L"対象ファイル自身のパスのほかは同じコマンドラインで、同じ出力先に書き込むおそれがあります。\n\n",
                        check.clashingTargets);
        if (!AskAboutClash(this, question, L"同じになる組が %d 組あります。最初の組:\n", check.clashes.size(), list,
                           first.first, first.second)) {
            return false;
        }
    } else if (!check.sharedWrites.empty()) {
        // The same kind of clash, seen in the redirections rather than the whole line.
        const VQTemplateCheck::OutputFile& file = check.sharedWrites[0];
        VQWString question;
        question.Format(L"%d 件の対象が同じファイル %s に書き込みます。実行しますか？\n"
                        L"> で書き込むと、前の対象の出力が後の対象の出力で置き換わります。\n\n",
                        file.count, file.path.c_str());
        if (!AskAboutClash(this, question, L"同じファイルに書き込む組が %d 組あります。最初の組:\n",
                           check.sharedWrites.size(), list, file.first, file.second)) {
            return false;
        }
    }
    // One at a time, appends keep every line; at once they can lose some to sharing violations.
    if (!check.sharedAppends.empty() && ReadRunOptions().parallel > 1) {
        const VQTemplateCheck::OutputFile& file = check.sharedAppends[0];
        VQWString question;
        question.Format(L"同時に実行すると %s への追記が失われることがあります。実行しますか？\n"
                        L"%d 件の対象が同じファイルに追記します。同時実行数が 1 なら失われません。",
                        file.path.c_str(), file.count);
        if (!AskToGoOn(this, question)) return false;
    }
    if (check.percentIndex >= 0) {
        const wchar_t* safe = FileEnvironmentName(check.percentVariable);
        VQWString question;
        question.Format(L"%d 件の対象ファイルのパスに %%…%% があり、cmd が環境変数として展開するおそれがあります。実行しますか？\n",
                        check.percentTargets);
        VQWString mend;
        if (safe) {
            mend.Format(L"%sで $%s の代わりに %%%s%% と書くと、cmd は値をそのまま渡します。\n\n",
                        check.percentInPreCommand ? L"先行コマンド" : L"コマンド", check.percentVariable, safe);
        } else {
            mend = L"$ 変数の代わりに %QB_FULLNAME% などの環境変数を使うと、cmd は値をそのまま渡します。\n\n";
        }
        question.Append(mend);
        question.Append(list[check.percentIndex]);
        if (!AskToGoOn(this, question)) return false;
    }
    // Decided here, so that the progress counts only the files that run.
    skip = check.skip;
    return true;
}

