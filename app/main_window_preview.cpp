// The preview under the command fields (app/preview_text.h makes its text)
// and the check of the whole list when Run is pressed (app/run_questions.h
// makes its questions): here they are shown, red or asked.
#include <windows.h>

#include <vector>

#include "app/main_window.h"
#include "app/preview_layout.h"
#include "app/preview_text.h"
#include "app/run_questions.h"
#include "win32/dialog_items.h"
#include "win32/message_box.h"
#include "win32/ui_font.h"

void MainWindow::UpdatePreview() {
    VQWin32DialogItem* preview = FindItemById(IDC_PREVIEW);
    VQWin32DialogItemListView* view = TargetList();
    if (!preview || !preview->GetHandle() || !view || !view->GetHandle()) return;
    PreviewInput input;
    input.entries = targetModel.GetCount();
    input.preCommand = EditText(IDC_PRECOMMAND_EDIT);
    input.command = EditText(IDC_COMMAND_EDIT);
    input.output = EditText(IDC_OUTPUT_EDIT);
    if (input.entries > 0) {
        const TargetEntry& shown = targetModel.At(view->GetSelectedCount() > 0 ? table.FirstSelected() : 0);
        input.target = shown.path;
        input.root = shown.root;
        input.directory = runController.DirectoryOf(EditText(IDC_DIRECTORY_EDIT));
    }
    PreviewText shown = MakePreviewText(input);
    previewShowsError = shown.error;
    // A multi-line edit box breaks lines only at CR LF; the texts here hold LF alone.
    shown.text.ReplaceLineBreaks(VQWString(L"\r\n"));
    preview->SetTextW(shown.text.Text(), false);
    // The colour may change where the text does not.
    InvalidateRect(preview->GetHandle(), nullptr, TRUE);
    FitPreviewToText();
}

void MainWindow::FitPreviewToText() {
    VQWin32DialogItem* preview = FindItemById(IDC_PREVIEW);
    VQWin32DialogItem* table = FindItemById(IDC_TARGET_LIST);
    if (fittingPreview || !preview || !preview->GetHandle() || !table || !table->GetHandle()) return;
    HWND box = preview->GetHandle();
    RECT format = {};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    int lines = static_cast<int>(SendMessageW(box, EM_GETLINECOUNT, 0, 0));
    int growth = PreviewGrowth(format.bottom - format.top, previewGrowth, VQWin32ControlFontMetrics(box).tmHeight,
                               lines, kPreviewMoreLines);
    int delta = growth - previewGrowth;
    if (delta == 0) return;
    std::vector<RECT*> rects;
    for (int i = 0; i < items.GetCount(); ++i) rects.push_back(&items[i]->initialRect);
    MoveForPreviewGrowth(rects, &table->initialRect, &preview->initialRect, delta);
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
    SetTextColor(dc, previewShowsError ? RGB(0xD0, 0x10, 0x10) : GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_3DFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
}

bool MainWindow::CheckBeforeRun(const VQWString& preCommandText, const VQWString& commandText,
                                const VQWString& outputText, const std::vector<RunTarget>& targets,
                                std::vector<bool>& skip) {
    skip.clear();
    RunQuestions said = QuestionsBeforeRun(preCommandText, commandText, outputText, targets,
                                           runController.DirectoryOf(EditText(IDC_DIRECTORY_EDIT)),
                                           IsChecked(IDC_SKIP_UP_TO_DATE_CHECK), ReadRunOptions().parallel);
    if (said.refusedTarget >= 0) {
        // The entry is shown first: the preview then says what is wrong with it.
        if (VQWin32DialogItemListView* view = TargetList()) view->SelectOnly(said.refusedTarget);
        OnListSelectionChanged();
        ShowError(said.refusal.Text());
        return false;
    }
    for (const VQWString& question : said.questions) {
        if (MsgBox(this, question.Text(), L"確認", VQMB_YESNO, 2) != IDYES) return false;
    }
    // Decided here, so that the progress counts only the files that run.
    skip = std::move(said.skip);
    return true;
}
