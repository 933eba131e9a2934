#include "engine/child_environment.h"

#include <windows.h>

#include <cwchar>

#include "engine/template.h"

// In the order of their names, which is the order they take in a block.
const FileEnvironmentVariable kFileEnvironment[] = {
    {L"QB_DIR", L"dir"},
    {L"QB_DRIVE", L"drive"},
    {L"QB_EXT", L"ext"},
    {L"QB_FULLNAME", L"fullname"},
    {L"QB_FULLTITLE", L"fulltitle"},
    {L"QB_HASHDIR", L"hashdir"},
    {L"QB_HASHNAME", L"hashname"},
    {L"QB_HASHPATH", L"hashpath"},
    {L"QB_HASHTITLE", L"hashtitle"},
    {L"QB_NAME", L"name"},
    {L"QB_PATH", L"path"},
    {L"QB_PRE", L"pre"},
    {L"QB_STEM", L"stem"},
    {L"QB_TITLE", L"title"},
};
const int kFileEnvironmentCount = static_cast<int>(sizeof kFileEnvironment / sizeof kFileEnvironment[0]);

namespace {

// The name of a "NAME=value" entry; the entries of the drives' current
// directories ("=C:=C:\x") begin with "=", which is part of their name.
std::wstring NameOf(const std::wstring& entry) {
    size_t equals = entry.find(L'=', 1);
    return entry.substr(0, equals == std::wstring::npos ? entry.size() : equals);
}

// As Windows orders and compares variable names: without regard to case.
int CompareNames(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b); }

bool IsSetPerTarget(const std::wstring& name) {
    for (const FileEnvironmentVariable& v : kFileEnvironment) {
        if (CompareNames(name, v.name) == 0) return true;
    }
    return false;
}

}  // namespace

const wchar_t* FileEnvironmentName(const wchar_t* variable) {
    if (!variable) return nullptr;
    for (const FileEnvironmentVariable& v : kFileEnvironment) {
        if (_wcsicmp(variable, v.variable) == 0) return v.name;
    }
    return nullptr;
}

ChildEnvironment::ChildEnvironment(const wchar_t* source) {
    wchar_t* own = source ? nullptr : GetEnvironmentStringsW();
    const wchar_t* at = source ? source : own;
    while (at && *at) {
        std::wstring entry(at);
        at += entry.size() + 1;
        if (!IsSetPerTarget(NameOf(entry))) inherited.push_back(entry);
    }
    if (own) FreeEnvironmentStringsW(own);
}

const wchar_t* ChildEnvironment::For(const VQWString& target, const VQWString& preOutput) {
    block.clear();
    auto append = [this](const wchar_t* text, size_t units) { block.insert(block.end(), text, text + units); };
    int next = 0;
    // The target's values, up to those that sort before `name`.
    auto appendValuesBefore = [&](const std::wstring* name) {
        VQWString unused;
        for (; next < kFileEnvironmentCount; ++next) {
            const FileEnvironmentVariable& v = kFileEnvironment[next];
            if (name && CompareNames(*name, v.name) < 0) break;
            // Through the template itself, so that a variable and its "$" form can never differ.
            VQWString value(L"$");
            value.Append(v.variable);
            if (!ExpandTemplate(value, target, preOutput, unused) || value.IsEmpty() ||
                value.GetLength() > kMaxEnvironmentValueUnits) {
                continue;
            }
            append(v.name, wcslen(v.name));
            block.push_back(L'=');
            append(value.Text(), static_cast<size_t>(value.GetLength()) + 1);
        }
    };
    // Windows keeps a block in the order of its names: the values go where they sort.
    for (const std::wstring& entry : inherited) {
        std::wstring name = NameOf(entry);
        appendValuesBefore(&name);
        append(entry.c_str(), entry.size() + 1);
    }
    appendValuesBefore(nullptr);
    // An empty block still needs its two NULs.
    if (block.empty()) block.push_back(L'\0');
    block.push_back(L'\0');
    return block.data();
}
