#include "tests/support/drawn_text.h"

#include <windows.h>

#include <cstring>
#include <mutex>

namespace {

typedef int(WINAPI* DrawTextWProc)(HDC, LPCWSTR, int, LPRECT, UINT);

struct Call {
    std::wstring text;
    UINT format;
};

std::mutex g_lock;
std::vector<Call> g_calls;
DrawTextWProc g_original = nullptr;
FARPROC* g_slot = nullptr;  // the hooked import slot while a recorder lives

int WINAPI RecordingDrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    if (text) {
        std::lock_guard<std::mutex> hold(g_lock);
        g_calls.push_back({count < 0 ? std::wstring(text) : std::wstring(text, count), format});
    }
    return g_original(dc, text, count, rect, format);
}

// The program's import slot for user32's DrawTextW: everything linked into
// the test program calls through it.
FARPROC* DrawTextSlot() {
    char* base = reinterpret_cast<char*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    FARPROC target = GetProcAddress(GetModuleHandleW(L"user32.dll"), "DrawTextW");
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); import->Name;
         ++import) {
        if (_stricmp(base + import->Name, "user32.dll") != 0) continue;
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk); thunk->u1.Function;
             ++thunk) {
            FARPROC* slot = reinterpret_cast<FARPROC*>(&thunk->u1.Function);
            if (*slot == target) return slot;
        }
    }
    return nullptr;
}

void Store(FARPROC* slot, FARPROC value) {
    DWORD old;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

DrawnText::DrawnText() {
    Clear();
    g_slot = DrawTextSlot();
    if (!g_slot) return;
    g_original = reinterpret_cast<DrawTextWProc>(*g_slot);
    Store(g_slot, reinterpret_cast<FARPROC>(&RecordingDrawTextW));
}

DrawnText::~DrawnText() {
    if (g_slot) Store(g_slot, reinterpret_cast<FARPROC>(g_original));
    g_slot = nullptr;
}

std::vector<std::wstring> DrawnText::Texts() const {
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<std::wstring> texts;
    for (const Call& call : g_calls) {
        if (!(call.format & DT_CALCRECT)) texts.push_back(call.text);
    }
    return texts;
}

std::vector<unsigned> DrawnText::Formats(const std::wstring& text) const {
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<unsigned> formats;
    for (const Call& call : g_calls) {
        if (call.text == text) formats.push_back(call.format);
    }
    return formats;
}

namespace {

// drawn is text with line feeds put in where lines were wrapped, and its own
// line breaks drawn as line feeds.
bool IsWrappedForm(const std::wstring& drawn, const std::wstring& text) {
    size_t i = 0, j = 0;
    while (i < drawn.size() && j < text.size()) {
        if (text[j] == L'\r' && drawn[i] == L'\n') {
            j += j + 1 < text.size() && text[j + 1] == L'\n' ? 2 : 1;
            ++i;
        } else if (drawn[i] == text[j]) {
            ++i, ++j;
        } else if (drawn[i] == L'\n') {
            ++i;
        } else {
            return false;
        }
    }
    return i == drawn.size() && j == text.size();
}

}  // namespace

bool DrawnText::Saw(const std::wstring& text) const {
    for (const std::wstring& drawn : Texts()) {
        if (drawn == text || IsWrappedForm(drawn, text)) return true;
    }
    return false;
}

void DrawnText::Clear() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_calls.clear();
}
