// Opens the real main window with a sample job, for the README's screenshots
// (scripts/screenshot.sh): the list has no way in from the command line, so
// this small host fills it the way a drop would. It makes the sample photos
// on drive C: of the Wine prefix it runs in (one of them missing).
//   qb_main_window_demo.exe [preview | error]
// With no argument it runs the job for real, so the list shows the marks of
// a run that stopped at a failure; the error box is closed by itself.
// "preview" adds a pre-command whose output the command uses and selects an
// entry in a subfolder; "error" has a mistyped variable, whose message
// ends with the nearest name. Neither runs anything.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "app/main_window.h"
#include "base/log.h"
#include "win32/dpi.h"
#include "win32/monitor.h"

namespace {

const wchar_t kPictures[] = L"C:\\Users\\yamada\\Pictures\\";
const wchar_t kBackup[] = L"C:\\バックアップ";

// Below kPictures; the one marked gone is listed but not made.
const struct {
    const wchar_t* path;
    bool gone;
} kSamples[] = {
    {L"2026 春\\お花見 (上野公園)\\IMG_0001.jpg", false},
    {L"2026 春\\お花見 (上野公園)\\IMG_0002.jpg", false},
    {L"2026 春\\お花見 (上野公園)\\IMG_0003.jpg", false},
    {L"2026 春\\入学式\\DSC00412.jpg", false},
    {L"2026 春\\入学式\\DSC00413.jpg", false},
    {L"2026 夏\\北海道旅行 (家族4人・7泊8日)\\1日目 小樽運河と北一硝子\\DSC01234.jpg", false},
    {L"2026 夏\\北海道旅行 (家族4人・7泊8日)\\1日目 小樽運河と北一硝子\\DSC01235.jpg", false},
    {L"2026 夏\\北海道旅行 (家族4人・7泊8日)\\3日目 富良野・美瑛 ラベンダー畑と青い池 (朝5時起きで撮影)\\DSC01301.jpg", false},
    {L"2026 夏\\北海道旅行 (家族4人・7泊8日)\\3日目 富良野・美瑛 ラベンダー畑と青い池 (朝5時起きで撮影)\\DSC01302.jpg", false},
    {L"2026 夏\\花火大会\\隅田川 第一会場から\\P8010021.png", false},
    {L"2026 夏\\花火大会\\隅田川 第一会場から\\P8010022.png", false},
    {L"2026 夏\\花火大会\\隅田川 第一会場から\\P8010023.png", true},
    {L"2026 夏\\花火大会\\隅田川 第一会場から\\P8010024.png", false},
    {L"2026 秋\\運動会 (小学校 最後の年)\\午前の部 徒競走・玉入れ\\IMG_2201.jpg", false},
    {L"2026 秋\\運動会 (小学校 最後の年)\\午前の部 徒競走・玉入れ\\IMG_2202.jpg", false},
    {L"2026 秋\\運動会 (小学校 最後の年)\\午後の部 組体操とリレー\\IMG_2240.jpg", false},
    {L"2026 秋\\紅葉 京都 (嵐山・東福寺・永観堂)\\嵐山 渡月橋の朝\\DSC02001.jpg", false},
    {L"2026 秋\\紅葉 京都 (嵐山・東福寺・永観堂)\\東福寺 通天橋\\DSC02045.jpg", false},
    {L"2026 秋\\紅葉 京都 (嵐山・東福寺・永観堂)\\永観堂 夜間ライトアップ (拝観受付 17時30分から・混雑のため三脚禁止)\\DSC02090.jpg", false},
    {L"2026 冬\\年末 大掃除で出てきた古いアルバム (実家の押し入れ・段ボール3箱分)\\スキャン 1998年 家族写真 (父のカメラ)\\アルバム 03 - 12.png", false},
    {L"2026 冬\\年末 大掃除で出てきた古いアルバム (実家の押し入れ・段ボール3箱分)\\スキャン 1998年 家族写真 (父のカメラ)\\アルバム 03 - 13.png", false},
    {L"2026 冬\\年末 大掃除で出てきた古いアルバム (実家の押し入れ・段ボール3箱分)\\スキャン 2003年 七五三 (明治神宮)\\アルバム 07 - 01.png", false},
    {L"2026 冬\\クリスマス\\ツリーの前で.jpg", false},
    {L"2026 冬\\クリスマス\\ケーキ.jpg", false},
    {L"スマートフォンから取り込み\\2026-12-31 大晦日 年越しそば\\PXL_20261231_213045123.jpg", false},
    {L"スマートフォンから取り込み\\2026-12-31 大晦日 年越しそば\\PXL_20261231_235959001.jpg", false},
};

// Makes every folder of the file's path, then the file with a few bytes.
void MakeFile(const wchar_t* path) {
    wchar_t folder[MAX_PATH * 2];
    lstrcpynW(folder, path, MAX_PATH * 2);
    for (wchar_t* p = folder + 3; *p; ++p) {
        if (*p != L'\\') continue;
        *p = L'\0';
        CreateDirectoryW(folder, nullptr);
        *p = L'\\';
    }
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, "photo", 5, &written, nullptr);
    CloseHandle(file);
}

// The run ends at the missing photo with an error box: closed unread, so
// the picture shows the list.
void CALLBACK CloseErrorBox(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND box = FindWindowW(L"VQMsgBox", nullptr)) PostMessageW(box, WM_CLOSE, 0, 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int showCommand) {
    bool preview = arguments && wcsstr(arguments, L"preview");
    bool error = arguments && wcsstr(arguments, L"error");
    VQArray<VQWString, VQWString> targets;
    for (const auto& sample : kSamples) {
        VQWString path(kPictures);
        path.Append(sample.path);
        if (!sample.gone) MakeFile(path.Text());
        targets.Add(path);
    }
    CreateDirectoryW(kBackup, nullptr);

    MainWindow* window = new MainWindow(instance);
    VQWin32SetMainWindow(window);
    // A key of its own and no kept list: the demo never touches the program's settings.
    window->registryKey = "Software\\velqo\\QuenbrixDemo";
    window->dataFolder = VQWString();
    JobSettings settings = {};
    lstrcpyW(settings.fileExt, L"jpg;png");
    lstrcpyW(settings.command, L"cmd /c copy /y \"$fullname\" \"C:\\バックアップ\\$name\"");
    if (preview) {
        lstrcpyW(settings.preCommand, L"magick identify -format %wx%h \"$fullname\"");
        lstrcpyW(settings.command, L"magick \"$fullname\" -resize 50% \"C:\\バックアップ\\$level3$stem ($pre).$ext\"");
    }
    if (error) lstrcpyW(settings.command, L"cmd /c copy /y \"$fulname\" \"C:\\バックアップ\\$name\"");
    lstrcpyW(settings.directory, L"C:\\Users\\yamada\\Pictures");
    settings.deleteFinished = 0;
    settings.checkExitCode = 1;
    settings.hideCommand = 1;
    settings.parallel = 1;
    VQWin32DialogWindowCreateInfo* info = MakeMainPanelCreateInfo(settings, showCommand, instance, window->Table());
    // As the program's first start has it on this screen.
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, info->style, FALSE, info->exStyle);
    info->rect = DefaultClientRect(WorkAreaOf(RECT{0, 0, 1, 1}), VQWin32GetWindowDpi(nullptr), frame);
    if (!window->Open(info)) return -2;
    delete info;

    window->AddTargets(&targets);
    if (preview) {
        // As a click on the entry does.
        window->Table().SelectRows(std::vector<int>{7});
    } else if (!error) {
        SetTimer(nullptr, 0, 500, CloseErrorBox);
        window->RunOrStop();
    }
    // Under Wine's virtual desktop the first activation can arrive before the
    // window is the foreground one, which leaves the caption drawn inactive.
    SetForegroundWindow(window->handle);
    SendMessageW(window->handle, WM_NCACTIVATE, TRUE, 0);
    int result = window->Run(0);
    delete window;
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\velqo\\QuenbrixDemo");
    vqLog.Close();
    return result;
}
