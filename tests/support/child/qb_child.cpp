// Console helper that the engine tests start as a child process. It carries
// out its arguments in order:
//   out TEXT       write TEXT to standard output
//   err TEXT       write TEXT to standard error
//   fill N         write N bytes of ChildFillByte(0 .. N-1) to standard output
//   sleep MS       sleep
//   write FILE TEXT  create FILE holding TEXT
//   cwd FILE       create FILE holding the current directory (UTF-8)
//   exit CODE      end with that exit code (decimal, or hexadecimal after 0x)
//   spawn ARGS     start another helper with ARGS (one argument, split again
//                  there), inheriting this one's handles, and do not wait for it
//   time FILE      create FILE holding the current system time (100 ns units, decimal)
//   spin MS        keep one core busy computing for MS milliseconds
//   outw TEXT      write TEXT to standard output as UTF-16LE without a mark
//   await FILE MS  wait until FILE exists; end with 106 when it has not within MS
//   stdin FILE     read standard input to its end; create FILE holding "eof N"
//                  (N bytes read), or "error E" when a read failed with error E
//   env NAME FILE  create FILE holding the environment variable NAME (UTF-8),
//                  or "(unset)"
//   count FILE     append a line to FILE; the lines it held before are the tries counted
//   failfirst N    end with 1 unless at least N tries were counted before this one
// TEXT understands \r, \n, \t, \\ and \xHH; other characters go out as UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "tests/support/child_program.h"

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

std::string Unescape(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c != L'\\' || i + 1 == text.size()) {
            out += Utf8(std::wstring(1, c));
            continue;
        }
        wchar_t next = text[++i];
        if (next == L'r') {
            out += '\r';
        } else if (next == L'n') {
            out += '\n';
        } else if (next == L't') {
            out += '\t';
        } else if (next == L'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += Utf8(std::wstring(1, next));
        }
    }
    return out;
}

bool WriteAll(HANDLE handle, const char* bytes, size_t count) {
    while (count > 0) {
        DWORD chunk = count > 65536 ? 65536 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

bool WriteNewFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(file, bytes.data(), bytes.size());
    CloseHandle(file);
    return ok;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int tries = 0;  // what "count" found
    if (!argv) return 100;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    for (int i = 1; i < argc; ++i) {
        std::wstring action = argv[i];
        bool hasArg = i + 1 < argc;
        if (action == L"out" && hasArg) {
            std::string bytes = Unescape(argv[++i]);
            WriteAll(out, bytes.data(), bytes.size());
        } else if (action == L"err" && hasArg) {
            std::string bytes = Unescape(argv[++i]);
            WriteAll(err, bytes.data(), bytes.size());
        } else if (action == L"fill" && hasArg) {
            size_t n = static_cast<size_t>(_wtoi64(argv[++i]));
            std::string block(65536, '\0');
            for (size_t done = 0; done < n;) {
                size_t count = n - done < block.size() ? n - done : block.size();
                for (size_t k = 0; k < count; ++k) block[k] = ChildFillByte(done + k);
                if (!WriteAll(out, block.data(), count)) return 101;
                done += count;
            }
        } else if (action == L"sleep" && hasArg) {
            Sleep(static_cast<DWORD>(_wtoi(argv[++i])));
        } else if (action == L"write" && i + 2 < argc) {
            std::wstring path = argv[++i];
            if (!WriteNewFile(path, Unescape(argv[++i]))) return 102;
        } else if (action == L"cwd" && hasArg) {
            wchar_t dir[MAX_PATH * 2];
            DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, dir);
            if (!WriteNewFile(argv[++i], Utf8(std::wstring(dir, n)))) return 103;
        } else if (action == L"spawn" && hasArg) {
            wchar_t self[MAX_PATH * 2];
            GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
            std::wstring line = L"\"" + std::wstring(self) + L"\" " + argv[++i];
            STARTUPINFOW startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process = {};
            if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
                return 104;
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        } else if (action == L"time" && hasArg) {
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            unsigned long long value = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
            if (!WriteNewFile(argv[++i], std::to_string(value))) return 105;
        } else if (action == L"spin" && hasArg) {
            DWORD until = GetTickCount() + static_cast<DWORD>(_wtoi(argv[++i]));
            volatile unsigned sink = 0;
            while (static_cast<int>(until - GetTickCount()) > 0) {
                for (unsigned k = 0; k < 100000; ++k) sink = sink * 31 + k;
            }
        } else if (action == L"outw" && hasArg) {
            std::wstring text;
            std::string bytes = Unescape(argv[++i]);
            int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
            text.resize(n);
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
            WriteAll(out, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
        } else if (action == L"await" && i + 2 < argc) {
            std::wstring path = argv[++i];
            DWORD limit = static_cast<DWORD>(_wtoi(argv[++i]));
            DWORD start = GetTickCount();
            while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
                if (GetTickCount() - start > limit) return 106;
                Sleep(10);
            }
        } else if (action == L"stdin" && hasArg) {
            std::wstring path = argv[++i];
            HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
            char buffer[4096];
            DWORD got = 0;
            unsigned long long total = 0;
            std::string report;
            for (;;) {
                if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) {
                    DWORD error = GetLastError();
                    report = error == ERROR_BROKEN_PIPE ? "eof " + std::to_string(total) : "error " + std::to_string(error);
                    break;
                }
                if (got == 0) {
                    report = "eof " + std::to_string(total);
                    break;
                }
                total += got;
            }
            if (!WriteNewFile(path, report)) return 107;
        } else if (action == L"env" && i + 2 < argc) {
            std::wstring name = argv[++i];
            std::wstring path = argv[++i];
            std::wstring value(40000, L'\0');
            DWORD n = GetEnvironmentVariableW(name.c_str(), &value[0], static_cast<DWORD>(value.size()));
            std::string report = n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND ? "(unset)"
                                                                                    : Utf8(value.substr(0, n));
            if (!WriteNewFile(path, report)) return 108;
        } else if (action == L"count" && hasArg) {
            // Appends one line to FILE and ends with the number of lines it holds now minus one.
            std::wstring path = argv[++i];
            HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) return 110;
            DWORD size = GetFileSize(file, nullptr);
            DWORD written = 0;
            WriteFile(file, "x\n", 2, &written, nullptr);
            CloseHandle(file);
            tries = static_cast<int>(size / 2);
        } else if (action == L"failfirst" && hasArg) {
            // Ends with 1 while fewer than N earlier tries were counted (see count).
            if (tries < static_cast<int>(wcstoul(argv[++i], nullptr, 0))) return 1;
        } else if (action == L"exit" && hasArg) {
            return static_cast<int>(wcstoul(argv[++i], nullptr, 0));
        } else {
            return 99;
        }
    }
    return 0;
}
