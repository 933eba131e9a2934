// Loads generated settings files of 256 KiB to 2 MiB and prints the times, to
// show that reading grows linearly with the file's length.
//   settings_bench.exe
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/files.h"
#include "settings/settings_text.h"

namespace {

// Lines of a usual settings file: sections of twenty keys, comments, blocks.
std::wstring TypicalLines(size_t units) {
    std::wstring text;
    for (int n = 0;; ++n) {
        std::wstring lines;
        if (n % 20 == 0) lines += L"[Section" + std::to_wstring(n / 20) + L"]\r\n// settings of this part\r\n";
        if (n % 200 == 100) {
            lines += L"[[Notes" + std::to_wstring(n) + L"]]\r\n  a raw line of text\r\nanother raw line\r\n\r\n";
        }
        lines += L"Key" + std::to_wstring(n) + L" = copy \"$fullname\" \"D:\\backup\\$title.$ext\"\r\n";
        if (text.size() + lines.size() > units) return text;
        text += lines;
    }
}

// Short key lines: far more keys than the length-based reservation expects.
std::wstring DenseKeys(size_t units) {
    std::wstring text;
    for (int n = 0;; ++n) {
        std::wstring line = L"k" + std::to_wstring(n % 1000) + L"\r\n";
        if (text.size() + line.size() > units) return text;
        text += line;
    }
}

// A new section every two lines: no header finds an earlier section.
std::wstring ManySections(size_t units) {
    std::wstring text;
    for (int n = 0;; ++n) {
        std::wstring lines = L"[s" + std::to_wstring(n) + L"]\r\nk = v\r\n";
        if (text.size() + lines.size() > units) return text;
        text += lines;
    }
}

bool WriteBytes(const std::wstring& path, const std::wstring& text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(h);
    return ok;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) return 1;
    std::wstring path = std::wstring(temp) + L"qb_settings_bench_" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    struct Shape {
        const char* name;
        std::wstring (*make)(size_t);
    } shapes[] = {{"typical", TypicalLines}, {"dense keys", DenseKeys}, {"many sections", ManySections}};
    std::printf("%-14s %9s %8s %9s %10s %10s\n", "file", "size", "keys", "sections", "load ms", "ms per MiB");
    for (const Shape& shape : shapes) {
        for (int kib : {256, 512, 1024, 2048}) {
            // With the mark and blank padding: exactly kib KiB.
            std::wstring text = shape.make(kib * 512u - 1);
            text.resize(kib * 512u - 1, L' ');
            if (!WriteBytes(path, text)) return 1;
            double best = 1e9;
            int keys = 0, sections = 0;
            for (int run = 0; run < 3; ++run) {
                VQSettingsText store;
                LARGE_INTEGER from, to;
                QueryPerformanceCounter(&from);
                bool ok = store.Load(NewFile(path.c_str(), kFileShareRead));
                QueryPerformanceCounter(&to);
                if (!ok) {
                    std::printf("%s: load failed\n", shape.name);
                    DeleteFileW(path.c_str());
                    return 1;
                }
                double s = Seconds(from, to);
                if (s < best) best = s;
                keys = store.GetKeyCount();
                sections = store.GetSectionCount();
            }
            std::printf("%-14s %5d KiB %8d %9d %10.1f %10.1f\n", shape.name, kib, keys, sections, best * 1000,
                        best * 1000 * 1024 / kib);
        }
    }
    DeleteFileW(path.c_str());
    return 0;
}
