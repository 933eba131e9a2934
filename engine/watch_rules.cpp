#include "engine/watch_rules.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "base/files.h"
#include "base/path_identity.h"

namespace {

bool EndsWithNoCase(const wchar_t* name, size_t length, const wchar_t* tail) {
    size_t tailLength = wcslen(tail);
    if (length < tailLength) return false;
    for (size_t i = 0; i < tailLength; ++i) {
        if (towlower(name[length - tailLength + i]) != tail[i]) return false;
    }
    return true;
}

std::wstring KeyOf(const VQWString& path) { return FoldNameCase(path).Text(); }

uint64_t Combine(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

}  // namespace

bool IsPassedOverName(const wchar_t* name) {
    if (!name || !*name) return true;
    if (name[0] == L'.' || (name[0] == L'~' && name[1] == L'$')) return true;
    size_t length = wcslen(name);
    for (const wchar_t* tail : {L".tmp", L".part", L".crdownload"}) {
        if (EndsWithNoCase(name, length, tail)) return true;
    }
    return false;
}

void SettleTracker::Touch(const VQWString& path, DWORD now) {
    auto found = pending.find(KeyOf(path));
    if (found != pending.end()) {
        found->second.quietSince = now;
        return;
    }
    Pending entry;
    entry.path = path;
    entry.order = nextOrder++;
    entry.quietSince = now;
    pending.emplace(KeyOf(path), std::move(entry));
}

bool SettleTracker::IsPending(const VQWString& path) const { return pending.count(KeyOf(path)) != 0; }

std::vector<SettleTracker::Settled> SettleTracker::TakeSettled(DWORD now, const Look& look) {
    std::vector<std::pair<uint64_t, Settled>> settled;
    for (auto it = pending.begin(); it != pending.end();) {
        Pending& entry = it->second;
        if (entry.looked && now - entry.lookedAt < lookMs) {
            ++it;
            continue;
        }
        WatchedLook seen = look(entry.path);
        entry.lookedAt = now;
        if (!seen.exists) {
            it = pending.erase(it);
            continue;
        }
        if (!entry.looked || !(seen == entry.last)) {
            // The first look only learns what the file is; its quiet time
            // runs from the change that was told.
            if (entry.looked) entry.quietSince = now;
            entry.last = seen;
            entry.looked = true;
        }
        if (now - entry.quietSince >= settleMs && seen.openable) {
            settled.push_back({entry.order, Settled{entry.path, seen}});
            it = pending.erase(it);
            continue;
        }
        ++it;
    }
    std::sort(settled.begin(), settled.end(),
              [](const std::pair<uint64_t, Settled>& a, const std::pair<uint64_t, Settled>& b) {
                  return a.first < b.first;
              });
    std::vector<Settled> files;
    files.reserve(settled.size());
    for (auto& item : settled) files.push_back(std::move(item.second));
    return files;
}

bool WatchLedger::Knows(const VQWString& path, uint64_t size, uint64_t writeTime) const {
    auto found = known.find(KeyOf(path));
    return found != known.end() && found->second.size == size && found->second.writeTime == writeTime;
}

void WatchLedger::Note(const VQWString& path, uint64_t size, uint64_t writeTime) {
    known[KeyOf(path)] = Known{path, size, writeTime};
}

void WatchLedger::Forget(const VQWString& path) { known.erase(KeyOf(path)); }

VQWString WatchLedger::ToText() const {
    std::wstring text;
    wchar_t numbers[64];
    for (const auto& item : known) {
        swprintf(numbers, 64, L"%llu\t%llu\t", static_cast<unsigned long long>(item.second.size),
                 static_cast<unsigned long long>(item.second.writeTime));
        text += numbers;
        text += item.second.path.Text();
        text += L"\r\n";
    }
    return VQWString(text.c_str());
}

void WatchLedger::FromText(const VQWString& text) {
    const wchar_t* at = text.Text();
    while (*at) {
        const wchar_t* end = wcspbrk(at, L"\r\n");
        size_t length = end ? static_cast<size_t>(end - at) : wcslen(at);
        std::wstring line(at, length);
        at += length;
        while (*at == L'\r' || *at == L'\n') ++at;
        size_t tab1 = line.find(L'\t');
        size_t tab2 = tab1 == std::wstring::npos ? tab1 : line.find(L'\t', tab1 + 1);
        if (tab2 == std::wstring::npos || tab2 + 1 >= line.size()) continue;
        wchar_t* stop = nullptr;
        unsigned long long size = wcstoull(line.c_str(), &stop, 10);
        if (stop != line.c_str() + tab1 || tab1 == 0) continue;
        unsigned long long time = wcstoull(line.c_str() + tab1 + 1, &stop, 10);
        if (stop != line.c_str() + tab2 || tab2 == tab1 + 1) continue;
        Note(VQWString(line.c_str() + tab2 + 1), size, time);
    }
}

WatchedLook LookAtFile(const VQWString& path) {
    WatchedLook look;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!LookUpPath(path, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return look;
    look.exists = true;
    look.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    look.writeTime = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    // Only readers shared: a program still writing it keeps it from opening.
    HANDLE file = CreateFileW(SystemForm(path).Text(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        look.openable = true;
        CloseHandle(file);
    }
    return look;
}
