#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "base/files.h"
#include "settings/settings_text.h"

const wchar_t kUsageText[] =
    L"使い方: Quenbrix.exe [設定ファイル] [ファイル・フォルダ ...] [スイッチ]\n"
    L"\n"
    L"  設定ファイル       [Quenbrix] セクションのあるファイル（*.ini）を読み込みます\n"
    L"  ファイル・フォルダ 対象ファイルに追加します（フォルダは中を探し、拡張子を当てはめます）\n"
    L"  /run               読み込んだらすぐ実行し、終わったら閉じます（質問には既定の答え）\n"
    L"  /new               開いているウィンドウに渡さず、新しいウィンドウを開きます\n"
    L"  /list FILE         リストファイルの行を追加します\n"
    L"  /job NAME          保存したジョブを読み込みます\n"
    L"  /plan FILE         実行予定を CSV ファイルに書き、何も実行しません\n"
    L"  /watch             監視するフォルダを監視し、届いたファイルに実行します（閉じるまで）\n"
    L"  /portable          設定も記録もプログラムの横に置きます（ポータブルモード）\n"
    L"  /?                 この説明を表示します\n"
    L"\n"
    L"終了コード (/run): 0 全て完了, 1 失敗・停止・未実行あり, 2 実行を開始できなかった, 3 引数の誤り\n"
    L"終了コード (/watch): 2 監視を開始できなかった\n";

namespace {

enum SwitchId { kRun, kNew, kList, kJob, kPlan, kPortable, kUsage, kWatch };

struct Switch {
    const wchar_t* name;
    SwitchId id;
    const wchar_t* value;  // what the value is, as the message names it; null: none
};

const Switch kSwitches[] = {
    {L"run", kRun, nullptr},
    {L"new", kNew, nullptr},
    {L"list", kList, L"リストファイル"},
    {L"job", kJob, L"ジョブの名前"},
    {L"plan", kPlan, L"実行予定の保存先"},
    {L"portable", kPortable, nullptr},
    {L"watch", kWatch, nullptr},
    {L"?", kUsage, nullptr},
};

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// "/" or "-" and letters only, or "/?" and "-?".
bool LooksLikeSwitch(const VQWString& argument) {
    const wchar_t* text = argument.Text();
    int length = argument.GetLength();
    if (length < 2 || (text[0] != L'/' && text[0] != L'-')) return false;
    if (length == 2 && text[1] == L'?') return true;
    for (int i = 1; i < length; ++i) {
        if (!IsAsciiLetter(text[i])) return false;
    }
    return true;
}

const Switch* FindSwitch(const VQWString& argument) {
    const wchar_t* rest = argument.Text() + 1;
    int length = argument.GetLength() - 1;
    for (const Switch& candidate : kSwitches) {
        int i = 0;
        while (i < length && candidate.name[i] && AsciiLower(rest[i]) == candidate.name[i]) ++i;
        if (i == length && !candidate.name[i]) return &candidate;
    }
    return nullptr;
}

void SetError(CommandLine& line, const VQWString& text) {
    // The first wrong argument is the one the message names.
    if (line.error.IsEmpty()) line.error = text;
}

void TakeSwitches(CommandLine& line) {
    const size_t count = line.arguments.size();
    for (size_t i = 0; i < count; ++i) {
        const VQWString& argument = line.arguments[i];
        if (!LooksLikeSwitch(argument)) {
            line.paths.push_back(argument);
            continue;
        }
        const Switch* found = FindSwitch(argument);
        if (!found) {
            SetError(line, VQWString().Format(L"不明なスイッチです: %s", argument.Text()));
            continue;
        }
        VQWString value;
        if (found->value) {
            if (i + 1 >= count || line.arguments[i + 1].IsEmpty()) {
                SetError(line, VQWString().Format(L"%s のあとに%sを指定してください。", argument.Text(), found->value));
                continue;
            }
            value = line.arguments[++i];
        }
        switch (found->id) {
        case kRun: line.run = true; break;
        case kNew: line.newWindow = true; break;
        case kPortable: line.portable = true; break;
        case kUsage: line.usage = true; break;
        case kWatch: line.watch = true; break;
        case kList: line.listFiles.push_back(value); break;
        case kJob:
        case kPlan: {
            VQWString& slot = found->id == kJob ? line.job : line.planFile;
            if (!slot.IsEmpty()) {
                SetError(line, VQWString().Format(L"%s は一度だけ指定できます。", argument.Text()));
                continue;
            }
            slot = value;
            break;
        }
        }
    }
}

bool HasIniExtension(const VQWString& path) {
    const wchar_t* text = path.Text();
    int length = path.GetLength();
    int dot = length - 1;
    while (dot >= 0 && text[dot] != L'.' && text[dot] != L'\\' && text[dot] != L'/') --dot;
    if (dot < 0 || text[dot] != L'.' || length - dot != 4) return false;
    return AsciiLower(text[dot + 1]) == L'i' && AsciiLower(text[dot + 2]) == L'n' && AsciiLower(text[dot + 3]) == L'i';
}

// A small file whose start is text, loading as settings text with the
// program's section. The start decides cheaply for photos and the like:
// a NUL byte in it is no UTF-8 text, and UTF-16 comes with its mark.
bool LoadsAsSettings(const VQWString& systemPath) {
    HANDLE file = CreateFileW(systemPath.Text(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    unsigned char start[4096];
    DWORD got = 0;
    bool text = GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= kSettingsSniffBytes &&
                ReadFile(file, start, sizeof start, &got, nullptr) && got > 0;
    CloseHandle(file);
    if (!text) return false;
    bool utf16 = got >= 2 && start[0] == 0xFF && start[1] == 0xFE;
    for (DWORD i = 0; !utf16 && i < got; ++i) {
        if (start[i] == 0) return false;
    }
    VQSettingsText store;
    VQFile* stream = NewFile(systemPath.Text(), kFileShareRead);
    return stream && store.Load(stream) && store.FindSection(L"Quenbrix", false) != nullptr;
}

}  // namespace

CommandLine ParseCommandLine(const wchar_t* line) {
    CommandLine result;
    // CommandLineToArgvW would answer an empty line with this program's path.
    if (!line || !*line) return result;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line, &count);
    if (!argv) return result;
    if (count > 0) result.program = argv[0];
    for (int i = 1; i < count; ++i) result.arguments.push_back(VQWString(argv[i]));
    LocalFree(argv);
    TakeSwitches(result);
    // A watch has no end of its own for /run to wait for, and /plan runs nothing.
    if (result.watch && result.Unattended()) SetError(result, VQWString(L"/watch は /run、/plan と一緒には指定できません。"));
    return result;
}

ArgumentKind ClassifyArgument(const VQWString& path) {
    VQWString full;
    if (!GetFullPath(path, full)) full = path;
    VQWString system = SystemForm(full);
    DWORD attributes = path.IsEmpty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(system.Text());
    bool ini = HasIniExtension(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return ini ? ArgumentKind::SettingsFile : ArgumentKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ArgumentKind::Target;
    if (ini) return ArgumentKind::SettingsFile;
    return LoadsAsSettings(system) ? ArgumentKind::SettingsFile : ArgumentKind::Target;
}

void SortPaths(CommandLine& line) {
    line.settingsFiles.clear();
    line.targets.clear();
    line.missing.clear();
    for (const VQWString& path : line.paths) {
        VQWString full;
        if (!GetFullPath(path, full)) full = path;
        switch (ClassifyArgument(full)) {
        case ArgumentKind::SettingsFile: line.settingsFiles.push_back(full); break;
        case ArgumentKind::Target: line.targets.push_back(full); break;
        case ArgumentKind::Missing: line.missing.push_back(full); break;
        }
    }
    auto makeFull = [](VQWString& path) {
        VQWString full;
        if (!path.IsEmpty() && GetFullPath(path, full)) path = full;
    };
    for (VQWString& listFile : line.listFiles) makeFull(listFile);
    makeFull(line.planFile);
}

void SplitByPresence(const std::vector<VQWString>& paths, std::vector<VQWString>& found,
                     std::vector<VQWString>& missing) {
    for (const VQWString& path : paths) {
        bool exists = GetFileAttributesW(SystemForm(path).Text()) != INVALID_FILE_ATTRIBUTES;
        (exists ? found : missing).push_back(path);
    }
}

VQWString MissingArgumentsText(const std::vector<VQWString>& missing) {
    // The names shown before "…".
    const size_t shown = 5;
    VQWString text;
    text.Format(L"コマンドラインの %d 件の引数を追加しませんでした。\n存在しないパス: %d 件\n",
                static_cast<int>(missing.size()), static_cast<int>(missing.size()));
    for (size_t i = 0; i < missing.size() && i < shown; ++i) {
        text.Append(L'\n');
        text.Append(missing[i]);
    }
    if (missing.size() > shown) text.Append(L"\n…");
    return text;
}

KeptListChoice ChooseKeptList(const CommandLine& line) {
    KeptListChoice choice;
    bool namesTargets = !line.targets.empty() || !line.missing.empty() || !line.listFiles.empty();
    bool namesJob = !line.job.IsEmpty() || !line.settingsFiles.empty();
    choice.own = (line.Unattended() && (namesTargets || namesJob)) || (line.newWindow && namesTargets);
    if (!choice.own) return choice;
    if (!line.job.IsEmpty()) choice.key = VQWString(L"job:").Append(line.job);
    for (const VQWString& path : line.settingsFiles) {
        if (!choice.key.IsEmpty()) choice.key.Append(L'\n');
        choice.key.Append(L"file:");
        choice.key.Append(path);
    }
    if (choice.key.IsEmpty()) choice.key = L"fields";
    return choice;
}

bool WriteToParentConsole(const VQWString& text) {
    std::wstring lines;
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t c = text.Text()[i];
        if (c == L'\n' && (i == 0 || text.Text()[i - 1] != L'\r')) lines += L'\r';
        lines += c;
    }
    // A redirected output (a scheduled task's log, a pipe) takes the text as
    // it stands, in UTF-8; a console takes it in its own units.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD type = out && out != INVALID_HANDLE_VALUE ? GetFileType(out) : FILE_TYPE_UNKNOWN;
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), nullptr, 0,
                                        nullptr, nullptr);
        std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
        if (bytes > 0) {
            WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), &utf8[0], bytes, nullptr,
                                nullptr);
        }
        DWORD written = 0;
        return WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
               written == utf8.size();
    }
    // Already attached (Wine gives a program started from a console that
    // console): it is written to all the same, and left as it was.
    bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    if (!attached && GetLastError() != ERROR_ACCESS_DENIED) return false;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        if (attached) FreeConsole();
        return false;
    }
    // The prompt of the shell that did not wait is already there: the text
    // starts on a line of its own.
    std::wstring shown = L"\r\n" + lines;
    DWORD written = 0;
    bool ok = WriteConsoleW(console, shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr) != FALSE;
    CloseHandle(console);
    if (attached) FreeConsole();
    return ok;
}
