#include "engine/job_check.h"

#include <cwchar>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/file_variables.h"
#include "engine/template.h"

const wchar_t kPreOutputPlaceholder[] = L"‹先行コマンドの出力›";

namespace {

// Commands that cmd carries out itself: none of them exists as a program
// file, so CreateProcessW cannot start them. Programs that ship with Windows
// (xcopy, robocopy, find, more, ...) are not here.
const wchar_t* const kCmdBuiltins[] = {
    L"assoc", L"break",  L"call",     L"cd",    L"chdir", L"cls",    L"color", L"copy",  L"date",
    L"del",   L"dir",    L"dpath",    L"echo",  L"endlocal", L"erase", L"exit", L"for",  L"ftype",
    L"goto",  L"if",     L"md",       L"mkdir", L"mklink", L"move",  L"path",  L"pause", L"popd",
    L"prompt", L"pushd", L"rd",       L"rem",   L"ren",   L"rename", L"rmdir", L"set",   L"setlocal",
    L"shift", L"start",  L"time",     L"title", L"type",  L"ver",    L"verify", L"vol",
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Stands for the target's own path in a line being compared; a noncharacter,
// so no path or template text holds it.
const wchar_t kOwnPath = L'\xFFFF';

std::wstring_view View(const VQWString& text) {
    return std::wstring_view(text.Text(), static_cast<size_t>(text.GetLength()));
}

bool EndsArgument(wchar_t c) { return c == L'\0' || IsBlank(c) || c == L'"'; }

// Only where the path is a whole argument: "$fullname.done" names a file of
// the target's own, not a shared one.
void ReplaceAll(std::wstring& line, std::wstring_view what) {
    if (what.empty()) return;
    for (size_t at = line.find(what); at != std::wstring::npos; at = line.find(what, at + 1)) {
        wchar_t before = at == 0 ? L'\0' : line[at - 1];
        wchar_t after = at + what.size() < line.size() ? line[at + what.size()] : L'\0';
        if (EndsArgument(before) && EndsArgument(after)) line.replace(at, what.size(), 1, kOwnPath);
    }
}

// The line with the target's path and its hash form set aside where either
// stands as a whole argument.
std::wstring WithoutOwnPath(const VQWString& line, const VQWString& target) {
    std::wstring result(View(line));
    ReplaceAll(result, View(target));
    VQWString hashed = ToHashForm(target);
    if (hashed != target) ReplaceAll(result, View(hashed));
    return result;
}

// The target with a mark in front of every piece between "\" and ".", so
// that every value the template could take from it differs, while the
// drive, the depth and the dots stay: the level walks that worked for the
// target work for it too.
VQWString Variant(const VQWString& target) {
    const wchar_t mark = L'\x1F';
    VQWString variant;
    int start = 0;
    if (HasDrivePrefix(target)) {
        start = 2;
        variant.Append(target.Text(), start);
    }
    bool pieceStarts = true;
    for (int i = start; i < target.GetLength(); ++i) {
        wchar_t c = target.GetAt(i);
        bool separator = c == L'\\' || c == L'.' || c == L':';
        if (pieceStarts && !separator) variant.Append(mark);
        variant.Append(c);
        pieceStarts = separator;
    }
    return variant;
}

template <class Line>
void GroupIdenticalLines(const std::vector<Line>& lines, VQTemplateCheck& check) {
    std::unordered_map<std::wstring_view, size_t> groupOf;
    groupOf.reserve(lines.size());
    std::vector<VQCommandClash> groups;
    for (size_t i = 0; i < lines.size(); ++i) {
        auto found = groupOf.emplace(std::wstring_view(lines[i]), groups.size());
        int index = static_cast<int>(i);
        if (found.second) {
            groups.push_back(VQCommandClash{1, index, -1});
        } else if (++groups[found.first->second].count == 2) {
            groups[found.first->second].second = index;
        }
    }
    for (const VQCommandClash& group : groups) {
        if (group.count < 2) continue;
        check.clashes.push_back(group);
        check.clashingTargets += group.count;
    }
}

}  // namespace

VQWString FindCmdBuiltin(const wchar_t* commandLine) {
    if (!commandLine) return VQWString();
    const wchar_t* start = commandLine;
    while (IsBlank(*start)) ++start;
    const wchar_t* end = start;
    while (*end && !IsBlank(*end) && *end != L'/') ++end;
    int length = static_cast<int>(end - start);
    // A quoted word keeps its quote, so it matches no name.
    for (const wchar_t* name : kCmdBuiltins) {
        int letters = static_cast<int>(wcslen(name));
        if (letters == length && VQWString::CompareNoCase(start, length, name, letters, letters) == 0) {
            VQWString word;
            word.Append(start, length);
            return word;
        }
    }
    return VQWString();
}

VQWString CmdBuiltinMessage(const VQWString& word) {
    VQWString message;
    message.Format(L"%s は cmd の内部コマンドです。cmd /c %s … と書いてください。", word.Text(), word.Text());
    return message;
}

VQTemplateCheck CheckTemplates(const VQWString& preCommand, const VQWString& command,
                               const VQArray<VQWString, VQWString>& targets) {
    VQTemplateCheck check;
    int count = targets.GetCount();
    const VQWString noOutput;
    const VQWString placeholder(kPreOutputPlaceholder);
    std::vector<VQWString> lines(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        VQWString pre = preCommand;
        if (!ExpandTemplate(pre, targets[i], noOutput, check.errorText, kMaxCommandLineUnits)) {
            check.failedIndex = i;
            check.preCommandFailed = true;
            return check;
        }
        VQWString& line = lines[static_cast<size_t>(i)];
        line = command;
        if (!ExpandTemplate(line, targets[i], placeholder, check.errorText, kMaxCommandLineUnits)) {
            check.failedIndex = i;
            return check;
        }
    }
    if (count < 2 || command.IsEmpty()) return check;

    // Neither whether $pre is used nor whether anything but the target's path
    // is depends on the target: one more expansion of the first one tells.
    VQWString unused;
    VQWString withoutPre = command;
    ExpandTemplate(withoutPre, targets[0], noOutput, unused);
    if (withoutPre != lines[0]) {
        check.commandUsesPre = true;
        return check;
    }
    VQWString variant = Variant(targets[0]);
    VQWString variantLine = command;
    ExpandTemplate(variantLine, variant, placeholder, unused);
    if (WithoutOwnPath(variantLine, variant) == WithoutOwnPath(lines[0], targets[0])) {
        std::vector<std::wstring_view> views;
        views.reserve(lines.size());
        for (const VQWString& line : lines) views.push_back(View(line));
        GroupIdenticalLines(views, check);
        return check;
    }
    std::vector<std::wstring> compared;
    compared.reserve(lines.size());
    for (int i = 0; i < count; ++i) compared.push_back(WithoutOwnPath(lines[static_cast<size_t>(i)], targets[i]));
    GroupIdenticalLines(compared, check);
    return check;
}
