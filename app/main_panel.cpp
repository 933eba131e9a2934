#include "app/main_panel.h"

#include "app/resource.h"
#include "app/target_table.h"
#include "engine/batch_runner.h"
#include "win32/combo_box.h"
#include "win32/dialog_window.h"
#include "win32/link_line.h"
#include "win32/list_view.h"
#include "win32/progress_bar.h"

const wchar_t kIdleCaption[] = L"対象ファイルにコマンドを実行する";

namespace {

VQWin32DialogItem* Anchored(VQWin32DialogItem* item, int anchors) {
    item->anchorFlags = anchors;
    return item;
}

}  // namespace

VQWin32DialogWindowCreateInfo* MakeMainPanelCreateInfo(const JobSettings& s, int showCommand, HINSTANCE instance,
                                                       TargetTable& table) {
    const int down = VQWin32AnchorMoveDown;
    const int downWide = VQWin32AnchorMoveDown | VQWin32AnchorStretchRight;
    const int downRight = VQWin32AnchorMoveDown | VQWin32AnchorMoveRight;
    // A job setting's control as the settings table describes it.
    auto setting = [&s](int id) { return JobForm::NewControl(s, id); };
    VQWin32DialogWindowCreateInfo* info = new VQWin32DialogWindowCreateInfo({
        setting(IDC_FILEEXT_EDIT),
        setting(IDC_PRECOMMAND_EDIT),
        setting(IDC_COMMAND_EDIT),
        setting(IDC_DIRECTORY_EDIT),
        new VQWin32DialogItem(IDC_JOB_LABEL),
        Anchored(new VQWin32DialogItemComboBoxW(IDC_JOB_COMBO, L"", -1), VQWin32AnchorStretchRight),
        Anchored(new VQWin32DialogItem(IDC_JOB_MENU_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItemListView(IDC_TARGET_LIST, &table, TargetTable::Columns()),
                 VQWin32AnchorStretchRight | VQWin32AnchorStretchDown),
        setting(IDC_DELETE_CHECK),
        // The list's own buttons sit above it, at its right.
        Anchored(new VQWin32DialogItem(IDC_ADD_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_LIST_ADD_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_DELETE_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_DELETE_ALL_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_RUN_BUTTON), downRight),
        Anchored(new VQWin32DialogItem(IDC_SELECT_DIRECTORY_BUTTON), downRight),
        Anchored(new VQWin32DialogItem(IDC_LOAD_BUTTON), down),
        Anchored(new VQWin32DialogItem(IDC_SAVE_BUTTON), down),
        setting(IDC_CHECK_EXIT_CODE),
        setting(IDC_HIDE_COMMAND),
        setting(IDC_PARALLEL_EDIT),
        Anchored(new VQWin32DialogItemUpDown(IDC_PARALLEL_SPIN, 1, BatchRunner::kMaxParallel), downRight),
        Anchored(new VQWin32DialogItem(IDC_PARALLEL_LABEL), downRight),
        Anchored(new VQWin32DialogItem(IDC_OPEN_RESULTS_BUTTON), down),
        Anchored(new VQWin32DialogItem(IDC_PREVIEW), downWide),
        new VQWin32DialogItem(IDC_TARGET_LABEL),
        Anchored(new VQWin32DialogItem(IDC_SELECT_MENU_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_RESULT_DETAIL), downWide),
        Anchored(new VQWin32DialogItemLinkLine(IDC_TABLE_STATUS,
                                               [&table](const wchar_t* name) { table.OnStatusClick(name); }),
                 downWide),
        Anchored(new VQWin32DialogItemProgressBar(IDC_TABLE_PROGRESS), downRight),
        Anchored(new VQWin32DialogItem(IDC_FILEEXT_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_PRECOMMAND_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_COMMAND_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_DIRECTORY_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_OUTPUT_LABEL), down),
        setting(IDC_OUTPUT_EDIT),
        Anchored(new VQWin32DialogItem(IDC_ON_FAILURE_LABEL), down),
        setting(IDC_ON_FAILURE_COMBO),
        Anchored(new VQWin32DialogItem(IDC_TIME_LIMIT_LABEL), down),
        setting(IDC_TIME_LIMIT_EDIT),
        Anchored(new VQWin32DialogItem(IDC_RETRIES_LABEL), down),
        setting(IDC_RETRIES_EDIT),
        setting(IDC_LOW_PRIORITY_CHECK),
        setting(IDC_SKIP_UP_TO_DATE_CHECK),
        setting(IDC_CHECK_OUTPUT_CHECK),
        setting(IDC_KEEP_FAILED_OUTPUT_CHECK),
        Anchored(new VQWin32DialogItem(IDC_WATCH_LABEL), down),
        setting(IDC_WATCH_EDIT),
        Anchored(new VQWin32DialogItem(IDC_WATCH_BUTTON), downRight),
        Anchored(new VQWin32DialogItem(IDC_WATCH_SETTLE_LABEL), downRight),
        setting(IDC_WATCH_SETTLE_EDIT),
        setting(IDC_WATCH_EXISTING_CHECK),
        setting(IDC_NOTIFY_CHECK),
    });
    info->templateId = IDD_MAIN;
    info->showCommand = showCommand;
    info->className = L"Quenbrix";
    info->caption = kIdleCaption;
    info->resizable = true;
    info->uiFont = true;
    info->style = WS_OVERLAPPEDWINDOW;
    info->exStyle = 0;
    char narrow[128] = {};
    WideCharToMultiByte(932, 0, kIdleCaption, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
    info->narrowTitle = narrow;
    info->icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    return info;
}
