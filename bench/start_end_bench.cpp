// What Quenbrix costs of its own beside the commands it runs, on a real
// Windows console program, in one run:
//   - 16 WAV files of 30 s encoded to FLAC (-compression_level 12) by
//     ffmpeg.exe, by a cmd for-loop batch file and by `Quenbrix.exe /run
//     job.ini FOLDER` hidden at 同時実行数 1 and 2, in interleaved rounds
//     (each round starts with another side); the medians and their ratios to
//     the batch file. Without ffmpeg.exe the child is this program computing
//     for about half a second a file ("child-work IN OUT").
//   - the same 16 commands by a plain loop of CreateProcessW two at a time,
//     each hidden as Quenbrix hides it: what Wine and the cores allow.
//   - 40 files copied by `cmd /c copy`, by Quenbrix started without a console
//     (as from Explorer) with the command visible (a console window a file)
//     and hidden, by a batch file in a console of its own, and by a plain
//     loop with and without a console window a file (the system's share).
//   - `/run` of one file whose command is `cmd /c echo $name` and `/plan` of
//     one file, against `cmd /c echo` alone.
//   - a plain start beside a kept list of 1,000 entries: until its panel
//     answers a message.
// Goals: 同時実行数 1 at most 1.03 times the batch file, 2 at most 0.6 times;
// /run of one file at most the echo + 0.4 s, /plan at most 0.4 s, the window
// of a plain start ready within 0.5 s.
//
//   start_end_bench.exe [rounds] [ffmpeg.exe|-] [Quenbrix.exe]
// (default: 3 rounds, build\ffmpeg\ffmpeg.exe if scripts/fetch_ffmpeg.sh
// fetched it, "-" for the own child; build\Quenbrix.exe, or another build's; bench/start_end.sh runs it in a prefix of its own). Each start
// of Quenbrix sees LOCALAPPDATA and APPDATA of a fresh folder; it keeps the
// job in the registry as any start does. Exit code 1 when a goal is missed.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_child.h"
#include "bench/bench_clock.h"
#include "bench/bench_entries.h"
#include "tests/support/temp_dir.h"

namespace {

const int kFiles = 16;
std::wstring quenbrixPath;
const int kSeconds = 30;

std::wstring ModuleFolder() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    std::wstring path(module, n);
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::string Utf16File(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::string Narrow(const std::wstring& text) { return Encoded(text, CP_ACP); }

// 30 s of 44.1 kHz stereo: two tones and some noise, which the encoder has to work at.
std::string Wave(int seed) {
    const unsigned rate = 44100, frames = rate * kSeconds, bytes = frames * 4;
    std::string wave(44 + bytes, '\0');
    auto put32 = [&](size_t at, unsigned v) {
        for (int i = 0; i < 4; ++i) wave[at + i] = static_cast<char>(v >> (8 * i));
    };
    memcpy(&wave[0], "RIFF", 4);
    put32(4, 36 + bytes);
    memcpy(&wave[8], "WAVEfmt ", 8);
    put32(16, 16);
    put32(20, 1 | (2 << 16));
    put32(24, rate);
    put32(28, rate * 4);
    put32(32, 4 | (16 << 16));
    memcpy(&wave[36], "data", 4);
    put32(40, bytes);
    unsigned noise = 12345u + static_cast<unsigned>(seed);
    for (unsigned i = 0; i < frames; ++i) {
        noise = noise * 1103515245u + 12345u;
        double t = static_cast<double>(i) / rate;
        double v = 9000 * sin(2 * 3.14159265 * (220 + 20 * seed) * t) + 5000 * sin(2 * 3.14159265 * 1375 * t) +
                   static_cast<int>((noise >> 16) % 3000) - 1500;
        short sample = static_cast<short>(v);
        for (int c = 0; c < 2; ++c) memcpy(&wave[44 + i * 4 + c * 2], &sample, 2);
    }
    return wave;
}

// The child without ffmpeg: about half a second of one core over IN, then OUT.
int ChildWork(const wchar_t* in, const wchar_t* out) {
    std::string bytes = TempDir::ReadWholeFile(in);
    unsigned hash = 2166136261u;
    for (int pass = 0; pass < 12; ++pass) {
        for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    HANDLE file = CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, &hash, sizeof hash, &written, nullptr);
    CloseHandle(file);
    return 0;
}

int CountOutputs(const std::wstring& out) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((out + L"\\*.out").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (found.nFileSizeLow > 0) ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

void EmptyFolder(const std::wstring& folder) {
    TempDir::RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A fresh data folder for each start of Quenbrix: no kept list, no histories of another side.
double QuenbrixSide(const std::wstring& arguments, const std::wstring& folder, DWORD expected = 0, DWORD flags = 0) {
    TempDir appData;
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.Path().c_str());
    SetEnvironmentVariableW(L"APPDATA", appData.Path().c_str());
    return TimedProcess(Quoted(quenbrixPath) + L" " + arguments, folder, flags, expected);
}

struct Encoding {
    TempDir dir;
    std::wstring in, out, command, tail;
};

void PrepareEncoding(Encoding& e, const std::wstring& ffmpeg) {
    e.in = e.dir.MakeDir(L"in");
    e.out = e.dir.MakeDir(L"out");
    for (int i = 1; i <= kFiles; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"in\\track%02d.wav", i);
        e.dir.WriteFile(name, Wave(i));
    }
    // The outputs end in .out on both sides, so that one count serves.
    e.command = ffmpeg.empty() ? SelfCommand(L"child-work")
                               : Quoted(ffmpeg) + L" -nostdin -loglevel error -y -f wav -i";
    e.tail = ffmpeg.empty() ? L"" : L" -compression_level 12 -f flac";
    const std::wstring& tail = e.tail;
    // Wine's cmd finds no file for a quoted wildcard: the set stands bare (a
    // temporary folder's path has no spaces).
    std::wstring batch = L"@echo off\r\nfor %%f in (" + e.in + L"\\*.wav) do " + e.command + L" \"%%~ff\"" + tail +
                         L" \"" + e.out + L"\\%%~nf.out\"\r\n";
    e.dir.WriteFile(L"job.bat", Narrow(batch));
    for (int slots = 1; slots <= 2; ++slots) {
        std::wstring line = e.command + L" \"$fullname\"" + tail + L" \"" + e.out + L"\\$title.out\"";
        wchar_t name[32];
        wsprintfW(name, L"job%d.ini", slots);
        e.dir.WriteFile(name, Utf16File(L"[Quenbrix]\r\nCommand = " + line + L"\r\nHideCommand = 1\r\nParallel = " +
                                        std::to_wstring(slots) + L"\r\n"));
    }
}

// Command lines by a plain loop, `at` at once, in `folder`: hidden as Quenbrix
// hides one (a console without a window, output to NUL), or each in a console
// window of its own.
double PlainLoop(const std::vector<std::wstring>& lines, const std::wstring& folder, size_t at, bool hidden) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, share, &inheritable, OPEN_EXISTING, 0, nullptr);
    HANDLE output = CreateFileW(L"NUL", GENERIC_WRITE, share, &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = hidden ? STARTF_USESTDHANDLES : 0;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::vector<HANDLE> running;
    double start = Seconds();
    bool ok = true;
    for (size_t next = 0; ok && (next < lines.size() || !running.empty());) {
        while (ok && running.size() < at && next < lines.size()) {
            std::wstring line = lines[next++];
            PROCESS_INFORMATION process = {};
            DWORD flags = hidden ? CREATE_NO_WINDOW : CREATE_NEW_CONSOLE;
            ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, hidden, flags, nullptr, folder.c_str(), &startup,
                                &process) != FALSE;
            if (!ok) break;
            CloseHandle(process.hThread);
            running.push_back(process.hProcess);
        }
        if (running.empty()) break;
        DWORD ended =
            WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE, INFINITE) - WAIT_OBJECT_0;
        if (ended >= running.size()) break;
        CloseHandle(running[ended]);
        running.erase(running.begin() + ended);
    }
    double seconds = Seconds() - start;
    for (HANDLE process : running) CloseHandle(process);
    CloseHandle(input);
    CloseHandle(output);
    return ok && running.empty() ? seconds : -1;
}

std::vector<std::wstring> EncodingLines(const Encoding& e) {
    std::vector<std::wstring> lines;
    for (int i = 1; i <= kFiles; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"track%02d", i);
        lines.push_back(e.command + L" \"" + e.in + L"\\" + name + L".wav\"" + e.tail + L" \"" + e.out + L"\\" + name +
                        L".out\"");
    }
    return lines;
}

// One side of the encoding (0 batch file, 1 and 2 slots, 7 the plain loop
// two at a time): -1 when it failed or left files not encoded.
double EncodingSide(const Encoding& e, int side) {
    EmptyFolder(e.out);
    double seconds = side == 0   ? TimedProcess(L"cmd /c job.bat", e.dir.Path(), CREATE_NO_WINDOW)
                     : side == 7 ? PlainLoop(EncodingLines(e), e.dir.Path(), 2, true)
                                 : QuenbrixSide(L"/run " + Quoted(e.dir.Join(side == 1 ? L"job1.ini" : L"job2.ini")) +
                                                    L" " + Quoted(e.in),
                                                e.dir.Path());
    int made = CountOutputs(e.out);
    if (seconds >= 0 && made == kFiles) return seconds;
    fprintf(stderr, "side %d: %d of %d files made\n", side, made, kFiles);
    return -1;
}

const int kCopies = 40;

struct Copies {
    TempDir dir;
    std::wstring in, out;
};

void PrepareCopies(Copies& c) {
    c.in = c.dir.MakeDir(L"in");
    c.out = c.dir.MakeDir(L"out");
    for (int i = 1; i <= kCopies; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"in\\file%02d.txt", i);
        c.dir.WriteFile(name, "some content of a file to copy\r\n");
    }
    std::wstring command = L"cmd /c copy \"$fullname\" \"" + c.out + L"\\$title.bak\"";
    for (int hide = 0; hide <= 1; ++hide) {
        c.dir.WriteFile(hide ? L"hidden.ini" : L"visible.ini",
                        Utf16File(L"[Quenbrix]\r\nCommand = " + command + L"\r\nHideCommand = " +
                                  std::to_wstring(hide) + L"\r\n"));
    }
    c.dir.WriteFile(L"copies.bat", Narrow(L"@echo off\r\nfor %%f in (" + c.in + L"\\*.txt) do cmd /c copy \"%%f\" \"" +
                                          c.out + L"\\%%~nf.bak\"\r\n"));
}

// One side of the copies (8 the batch file, 9 visible, 10 hidden, 11 and 12
// a plain loop of them in a console window each and hidden): -1 when it
// failed or left files not copied.
double CopySide(const Copies& c, int side) {
    EmptyFolder(c.out);
    std::vector<std::wstring> lines;
    for (int i = 1; i <= kCopies; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"file%02d", i);
        lines.push_back(L"cmd /c copy \"" + c.in + L"\\" + name + L".txt\" \"" + c.out + L"\\" + name + L".bak\"");
    }
    // Quenbrix without a console to hand on, as Explorer starts it: each visible command opens one.
    std::wstring job = Quoted(c.dir.Join(side == 9 ? L"visible.ini" : L"hidden.ini"));
    std::wstring arguments = L"/run " + job + L" " + Quoted(c.in);
    double seconds = side == 8    ? TimedProcess(L"cmd /c copies.bat", c.dir.Path(), CREATE_NEW_CONSOLE)
                     : side >= 11 ? PlainLoop(lines, c.dir.Path(), 1, side == 12)
                                  : QuenbrixSide(arguments, c.dir.Path(), 0, DETACHED_PROCESS);
    WIN32_FIND_DATAW found;
    int made = 0;
    HANDLE search = FindFirstFileW((c.out + L"\\*.bak").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            ++made;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (seconds >= 0 && made == kCopies) return seconds;
    fprintf(stderr, "side %d: %d of %d files copied\n", side, made, kCopies);
    return -1;
}

// A plain start beside a kept list of `entries`: seconds until the panel answers.
double PlainStart(int entries) {
    TempDir appData;
    WriteKeptArchive(appData.MakeDir(L"Quenbrix"), entries, true);
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.Path().c_str());
    SetEnvironmentVariableW(L"APPDATA", appData.Path().c_str());
    std::wstring line = Quoted(quenbrixPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Seconds();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    WaitForInputIdle(process.hProcess, 60000);
    double answered = -1;
    HWND frame = nullptr;
    while (answered < 0 && Seconds() - start < 60) {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"Quenbrix", nullptr); w && !frame;
             w = FindWindowExW(nullptr, w, L"Quenbrix", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == process.dwProcessId) frame = w;
        }
        HWND panel = frame ? FindWindowExW(frame, nullptr, L"#32770", nullptr) : nullptr;
        DWORD_PTR result = 0;
        if (panel && IsWindowVisible(frame) &&
            SendMessageTimeoutW(panel, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result)) {
            answered = Seconds() - start;
        } else {
            Sleep(2);
        }
    }
    CloseStarted(frame, process);
    return answered;
}

bool Missed(double value, double goal) { return value < 0 || value > goal; }

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc >= 4 && std::wstring(argv[1]) == L"child-work") return ChildWork(argv[2], argv[3]);
    int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 3;
    std::wstring ffmpeg = argc > 2 ? argv[2] : ModuleFolder() + L"..\\ffmpeg\\ffmpeg.exe";
    if (GetFileAttributesW(ffmpeg.c_str()) == INVALID_FILE_ATTRIBUTES) ffmpeg.clear();
    quenbrixPath = argc > 3 ? argv[3] : ModuleFolder() + L"..\\Quenbrix.exe";

    Encoding encoding;
    PrepareEncoding(encoding, ffmpeg);
    TempDir one;
    std::wstring file = one.WriteFile(L"a.txt", "x");
    std::wstring job = one.WriteFile(L"job.ini", Utf16File(L"[Quenbrix]\r\nCommand = cmd /c echo $name\r\nHideCommand = 1\r\n"));
    Copies copies;
    PrepareCopies(copies);
    const wchar_t* names[] = {L"batch file", L"/run, 1 slot", L"/run, 2 slots", L"cmd /c echo", L"/run of one file",
                              L"/plan of one file", L"plain start, 1,000 kept", L"plain loop, 2 at once",
                              L"batch file", L"/run, visible", L"/run, hidden", L"plain loop, visible",
                              L"plain loop, hidden"};
    const int kSides = 13;
    std::vector<double> seconds[kSides];
    for (int round = 0; round < rounds; ++round) {
        const int encodingSides[] = {0, 1, 2, 7};
        for (int k = 0; k < 4; ++k) {
            int side = encodingSides[(round + k) % 4];
            seconds[side].push_back(EncodingSide(encoding, side));
        }
        for (int k = 0; k < 5; ++k) {
            int side = 8 + (round + k) % 5;
            seconds[side].push_back(CopySide(copies, side));
        }
        for (int k = 0; k < 4; ++k) {
            int side = 3 + (round + k) % 4;
            double s = side == 3   ? TimedProcess(L"cmd /c echo x", one.Path(), CREATE_NO_WINDOW)
                       : side == 4 ? QuenbrixSide(L"/run " + Quoted(job) + L" " + Quoted(file), one.Path())
                       : side == 5 ? QuenbrixSide(L"/plan " + Quoted(one.Join(L"plan.csv")) + L" " + Quoted(job) +
                                                      L" " + Quoted(file),
                                                  one.Path())
                                   : PlainStart(1000);
            seconds[side].push_back(s);
        }
        printf("round %d:", round + 1);
        for (int side = 0; side < kSides; ++side) printf(" %.2f", seconds[side].back());
        printf("\n");
        fflush(stdout);
    }
    for (const std::vector<double>& side : seconds) {
        if (std::find(side.begin(), side.end(), -1.0) != side.end()) return 2;
    }
    double m[kSides];
    for (int side = 0; side < kSides; ++side) m[side] = Median(seconds[side]);
    printf("%d files by %s, median of %d rounds:\n", kFiles, ffmpeg.empty() ? "this program's own child" : "ffmpeg.exe",
           rounds);
    printf("  %-24ls %6.2f s\n", names[0], m[0]);
    printf("  %-24ls %6.2f s  ratio %.2f (goal <= 1.03)\n", names[1], m[1], m[1] / m[0]);
    printf("  %-24ls %6.2f s  ratio %.2f (goal <= 0.60), %.2f of one slot\n", names[2], m[2], m[2] / m[0], m[2] / m[1]);
    printf("  %-24ls %6.2f s  ratio %.2f, without Quenbrix\n", names[7], m[7], m[7] / m[0]);
    printf("%d files by cmd /c copy, Quenbrix started without a console:\n", kCopies);
    printf("  %-24ls %6.2f s\n", names[8], m[8]);
    printf("  %-24ls %6.2f s  ratio %.2f, %.1f ms a file more than hidden\n", names[9], m[9], m[9] / m[8],
           (m[9] - m[10]) * 1000 / kCopies);
    printf("  %-24ls %6.2f s  ratio %.2f\n", names[10], m[10], m[10] / m[8]);
    printf("  %-24ls %6.2f s  ratio %.2f, %.1f ms a file more than hidden\n", names[11], m[11], m[11] / m[8],
           (m[11] - m[12]) * 1000 / kCopies);
    printf("  %-24ls %6.2f s  ratio %.2f\n", names[12], m[12], m[12] / m[8]);
    printf("One file:\n");
    printf("  %-24ls %6.2f s\n", names[3], m[3]);
    printf("  %-24ls %6.2f s  %.2f s more than the echo (goal <= 0.4)\n", names[4], m[4], m[4] - m[3]);
    printf("  %-24ls %6.2f s  (goal <= 0.4)\n", names[5], m[5]);
    printf("  %-24ls %6.2f s  until the window answers (goal <= 0.5)\n", names[6], m[6]);
    bool missed = Missed(m[1] / m[0], 1.03) || Missed(m[2] / m[0], 0.6) || Missed(m[4] - m[3], 0.4) ||
                  Missed(m[5], 0.4) || Missed(m[6], 0.5);
    return missed ? 1 : 0;
}
