#include "engine/job_check.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/path_identity.h"
#include "base/timing_log.h"
#include "base/two_threads.h"
#include "engine/file_variables.h"
#include "engine/output_path.h"
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

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() && EqualsNoCase(text.substr(text.size() - end.size()), end);
}

// The names Windows keeps for devices, whatever folder or extension they are given.
bool IsDeviceName(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\.\\") == 0) return true;
    size_t slash = path.find_last_of(L"\\/");
    std::wstring_view name(path);
    if (slash != std::wstring::npos) name.remove_prefix(slash + 1);
    if (!name.empty() && name.back() == L':') name.remove_suffix(1);
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
    for (const wchar_t* device : {L"nul", L"con", L"prn", L"aux", L"conin$", L"conout$"}) {
        if (EqualsNoCase(name, device)) return true;
    }
    return name.size() == 4 && (EqualsNoCase(name.substr(0, 3), L"com") || EqualsNoCase(name.substr(0, 3), L"lpt")) &&
           name[3] >= L'1' && name[3] <= L'9';
}

bool EndsRedirectionPath(wchar_t c) { return IsBlank(c) || c == L'&' || c == L'|' || c == L'<' || c == L'>'; }

// The files the lines of a job write to, and which targets write each.
class OutputTable {
public:
    explicit OutputTable(const VQWString& dir) : directory(dir) {}

    void Add(int target, const VQWString& line) {
        if (line.FindOneOf(L">", 0) < 0) return;
        for (const VQRedirection& redirection : FindRedirections(line.Text())) {
            // Output not yet known cannot be compared.
            if (redirection.path.find(kPreOutputPlaceholder) != std::wstring::npos) continue;
            auto found = indexOf.emplace(Key(redirection.path), uses.size());
            if (found.second) uses.push_back(Use{redirection.path});
            Use& use = uses[found.first->second];
            if (use.lastTarget != target) {
                use.lastTarget = target;
                if (use.targets++ == 0) {
                    use.first = target;
                } else if (use.second < 0) {
                    use.second = target;
                }
            }
            if (!redirection.append) use.written = true;
        }
    }

    void Collect(VQTemplateCheck& check) const {
        for (const Use& use : uses) {
            if (use.targets < 2) continue;
            VQTemplateCheck::OutputFile file = {use.path, use.targets, use.first, use.second};
            (use.written ? check.sharedWrites : check.sharedAppends).push_back(file);
        }
    }

private:
    struct Use {
        std::wstring path;
        int targets = 0;
        int first = -1;
        int second = -1;
        int lastTarget = -1;
        bool written = false;  // by ">" at least once, not only appended to
    };

    // As the file system compares names: the full path, without regard to case.
    std::wstring Key(const std::wstring& path) {
        auto cached = keyOf.find(path);
        if (cached != keyOf.end()) return cached->second;
        VQWString full = directory.IsEmpty() ? VQWString(path.c_str()) : ResolvePath(VQWString(path.c_str()), directory);
        std::wstring key(View(full));
        if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
        keyOf.emplace(path, key);
        return key;
    }

    VQWString directory;
    std::vector<Use> uses;
    std::unordered_map<std::wstring, size_t> indexOf;
    std::unordered_map<std::wstring, std::wstring> keyOf;  // as written -> key
};

bool HasTwoPercents(const VQWString& text) {
    int first = text.FindOneOf(L"%", 0);
    return first >= 0 && text.FindOneOf(L"%", first + 1) >= 0;
}

// The first variable whose value, in the template expanded for the target,
// holds a "%" pair; null when none does.
const wchar_t* VariableWithPercentPair(const VQWString& templateText, const VQWString& target,
                                       const VQWString& preOutput, const VQTemplateContext& context) {
    VQWString line = templateText;
    VQWString unused;
    std::vector<VQInsertedValue> inserted;
    ExpandTemplate(line, target, preOutput, context, unused, -1, nullptr, &inserted);
    for (const VQInsertedValue& value : inserted) {
        // $pre stands for output not yet known.
        if (wcscmp(value.variable, L"pre") == 0) continue;
        if (HoldsPercentPair(line.Text() + value.start, value.length)) return value.variable;
    }
    return nullptr;
}

size_t HashOf(std::wstring_view line) { return std::hash<std::wstring_view>()(line); }

// The name of a line's program, without its quotes and folder.
std::wstring_view ProgramOf(const wchar_t* commandLine) {
    const wchar_t* start = commandLine;
    while (IsBlank(*start)) ++start;
    const wchar_t* end = start;
    if (*start == L'"') {
        ++start;
        end = start;
        while (*end && *end != L'"') ++end;
    } else {
        while (*end && !IsBlank(*end)) ++end;
    }
    std::wstring_view word(start, static_cast<size_t>(end - start));
    size_t slash = word.find_last_of(L"\\/");
    if (slash != std::wstring_view::npos) word.remove_prefix(slash + 1);
    return word;
}

// The line starts cmd itself (not a batch file, which cmd runs too).
bool StartsCmd(const wchar_t* commandLine) {
    std::wstring_view word = ProgramOf(commandLine);
    return EqualsNoCase(word, L"cmd") || EqualsNoCase(word, L"cmd.exe");
}

// Whether a word names a file: a drive, a "\" or an extension (letters after
// its last dot: "x.bak", not "127.0.0.1" or "-").
bool IsPathLike(std::wstring_view word) {
    size_t start = word.find_first_not_of(L'"');
    if (start != std::wstring_view::npos && start + 1 < word.size() && word[start + 1] == L':' &&
        Lower(word[start]) >= L'a' && Lower(word[start]) <= L'z') {
        return true;
    }
    if (word.find(L'\\') != std::wstring_view::npos) return true;
    size_t dot = word.rfind(L'.');
    if (dot == std::wstring_view::npos) return false;
    bool letter = false;
    size_t units = 0;
    for (size_t i = dot + 1; i < word.size(); ++i) {
        wchar_t c = word[i];
        if (c == L'"') continue;
        bool digit = c >= L'0' && c <= L'9';
        if (!digit && !(Lower(c) >= L'a' && Lower(c) <= L'z') && (c < 0x80 || c == kOwnPath)) return false;
        letter = letter || !digit;
        ++units;
    }
    return units > 0 && letter;
}

// Whether a line with the target's own path set aside still names a file
// in an argument or a redirection, which two targets' equal lines would
// share. The program is no argument, nor the one cmd starts after "/c".
// Lines equal without any (a test of each archive, a read of each file)
// share nothing.
bool NamesAFile(const std::wstring& line) {
    if (line.find(L'>') != std::wstring::npos) {
        for (const VQRedirection& redirection : FindRedirections(line.c_str())) {
            if (redirection.path.size() != 1 || redirection.path[0] != kOwnPath) return true;
        }
    }
    int programs = 1;
    bool cmdOptions = false;
    for (size_t at = 0; at < line.size();) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (at == line.size()) break;
        size_t begin = at;
        bool quoted = false;
        while (at < line.size() && (quoted || !IsBlank(line[at]))) quoted = quoted != (line[at++] == L'"');
        std::wstring_view word(line.data() + begin, at - begin);
        if (programs > 0) {
            --programs;
            if (begin == line.find_first_not_of(L" \t") && StartsCmd(line.c_str())) {
                cmdOptions = true;
            }
            continue;
        }
        if (cmdOptions && word[0] == L'/') {
            if (word.size() >= 2 && (Lower(word[1]) == L'c' || Lower(word[1]) == L'k')) {
                cmdOptions = false;
                programs = 1;
            }
            continue;
        }
        cmdOptions = false;
        if (IsPathLike(word)) return true;
    }
    return false;
}

// Groups of two or more targets whose lines are the same, in the order the
// first of each came. Only the lines' hashes are held (a million lines would
// take hundreds of megabytes); the few that share a hash are made again by
// keyOf and compared whole.
template <class KeyOf>
void GroupLinesByHash(const std::vector<size_t>& hashes, KeyOf keyOf, VQTemplateCheck& check) {
    std::vector<std::pair<size_t, int>> order;
    order.reserve(hashes.size());
    for (size_t i = 0; i < hashes.size(); ++i) order.emplace_back(hashes[i], static_cast<int>(i));
    std::sort(order.begin(), order.end());
    std::vector<VQCommandClash> groups;
    for (size_t run = 0; run < order.size();) {
        size_t end = run + 1;
        while (end < order.size() && order[end].first == order[run].first) ++end;
        if (end - run >= 2) {
            std::unordered_map<std::wstring, size_t> groupOf;
            for (size_t k = run; k < end; ++k) {
                int index = order[k].second;
                auto found = groupOf.emplace(keyOf(index), groups.size());
                if (found.second) {
                    groups.push_back(VQCommandClash{1, index, -1});
                } else if (++groups[found.first->second].count == 2) {
                    groups[found.first->second].second = index;
                }
            }
        }
        run = end;
    }
    std::sort(groups.begin(), groups.end(),
              [](const VQCommandClash& a, const VQCommandClash& b) { return a.first < b.first; });
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

bool GoesThroughCmd(const wchar_t* commandLine) {
    if (!commandLine) return false;
    std::wstring_view word = ProgramOf(commandLine);
    return StartsCmd(commandLine) || EndsWithNoCase(word, L".bat") || EndsWithNoCase(word, L".cmd");
}

namespace {

bool IsWordEnd(wchar_t c) { return c == L'\0' || IsBlank(c) || c == L'(' || c == L'&' || c == L'|' || c == L'<' || c == L'>'; }

// Whether the word at `at` is `word` (any case) standing alone.
bool WordAt(const wchar_t* at, const wchar_t* word) {
    size_t length = wcslen(word);
    for (size_t i = 0; i < length; ++i) {
        if (Lower(at[i]) != word[i]) return false;
    }
    return IsWordEnd(at[length]);
}

// Reads cmd's command text: blocks in parentheses, "&", "|", the words after
// which a command comes (if's condition, for's "do", else), and the
// redirections' targets, which an unquoted ")" ends inside a block.
class RedirectionReader {
public:
    explicit RedirectionReader(const wchar_t* text) : at(text) {}

    std::vector<VQRedirection> Read() {
        while (*at) Command();
        return found;
    }

private:
    void SkipBlanks() {
        while (IsBlank(*at)) ++at;
    }

    // A word of if's condition, quotes kept as cmd compares them.
    void SkipOperand(bool comparison) {
        bool quoted = false;
        while (*at && (quoted || !(IsBlank(*at) || (comparison && *at == L'=')))) {
            if (*at == L'"') quoted = !quoted;
            ++at;
        }
    }

    void Command() {
        for (;;) {
            SkipBlanks();
            if (*at == L'@') {
                ++at;
            } else if (*at == L'(') {
                ++depth;
                ++at;
            } else if (WordAt(at, L"if")) {
                at += 2;
                SkipBlanks();
                if (WordAt(at, L"/i")) {
                    at += 2;
                    SkipBlanks();
                }
                if (WordAt(at, L"not")) {
                    at += 3;
                    SkipBlanks();
                }
                if (WordAt(at, L"exist") || WordAt(at, L"defined") || WordAt(at, L"errorlevel") ||
                    WordAt(at, L"cmdextversion")) {
                    while (!IsBlank(*at) && *at) ++at;
                    SkipBlanks();
                    SkipOperand(false);
                } else {
                    SkipOperand(true);
                    SkipBlanks();
                    if (at[0] == L'=' && at[1] == L'=') {
                        at += 2;
                    } else {
                        while (*at && !IsBlank(*at)) ++at;  // EQU, NEQ, ...
                    }
                    SkipBlanks();
                    SkipOperand(false);
                }
            } else if (WordAt(at, L"for")) {
                // Its set in parentheses is no block.
                at += 3;
                while (*at) {
                    if (*at == L'(') {
                        while (*at && *at != L')') ++at;
                        if (*at) ++at;
                    } else if (IsBlank(at[-1]) && WordAt(at, L"do")) {
                        at += 2;
                        break;
                    } else {
                        ++at;
                    }
                }
            } else {
                break;
            }
        }
        if (WordAt(at, L"rem")) {
            while (*at) ++at;
            return;
        }
        Arguments();
    }

    // To the end of the command: "&", "|", or the ")" that ends its block.
    void Arguments() {
        bool quoted = false;
        while (*at) {
            wchar_t c = *at;
            if (c == L'"') {
                quoted = !quoted;
                ++at;
            } else if (quoted) {
                ++at;
            } else if (c == L'^') {
                at += at[1] ? 2 : 1;
            } else if (c == L'&' || c == L'|') {
                at += at[1] == c ? 2 : 1;
                return;
            } else if (c == L')' && depth > 0) {
                --depth;
                ++at;
                SkipBlanks();
                if (WordAt(at, L"else")) {
                    at += 4;
                    return;
                }
            } else if (c == L'>' || c == L'<') {
                Redirection();
            } else {
                ++at;
            }
        }
    }

    void Redirection() {
        bool output = *at == L'>';
        bool append = output && at[1] == L'>';
        at += append ? 2 : 1;
        // "2>&1": another handle, no file.
        if (*at == L'&') {
            ++at;
            return;
        }
        SkipBlanks();
        std::wstring path;
        bool inQuotes = false;
        while (*at && (inQuotes || !(EndsRedirectionPath(*at) || (*at == L')' && depth > 0)))) {
            if (*at == L'"') {
                inQuotes = !inQuotes;
            } else if (*at == L'^' && !inQuotes && at[1]) {
                path += *++at;
            } else {
                path += *at;
            }
            ++at;
        }
        if (output && !path.empty() && !IsDeviceName(path)) found.push_back(VQRedirection{path, append});
    }

    const wchar_t* at;
    int depth = 0;
    std::vector<VQRedirection> found;
};

// Where cmd's own command begins in a line that starts cmd: after "/c" or
// "/k", without the quote that opens it and the line's last quote. The
// whole line for any other program.
std::wstring CmdCommandOf(const wchar_t* line) {
    const wchar_t* start = line;
    while (IsBlank(*start)) ++start;
    if (!StartsCmd(start)) return line;
    const wchar_t* at = start;
    if (*at == L'"') {
        at = wcschr(at + 1, L'"');
        if (!at) return line;
        ++at;
    }
    while (*at && !IsBlank(*at) && *at != L'/') ++at;
    for (;;) {
        while (IsBlank(*at)) ++at;
        if (*at != L'/') return at;  // no /c: cmd reads nothing more
        wchar_t option = Lower(at[1]);
        at += at[1] ? 2 : 1;
        if (option == L'c' || option == L'k') break;
        while (*at && !IsBlank(*at) && *at != L'/') ++at;
    }
    while (IsBlank(*at)) ++at;
    std::wstring command(at);
    if (!command.empty() && command[0] == L'"') {
        command.erase(0, 1);
        size_t last = command.rfind(L'"');
        if (last != std::wstring::npos) command.erase(last, 1);
    }
    return command;
}

}  // namespace

std::vector<VQRedirection> FindRedirections(const wchar_t* line) {
    if (!line) return std::vector<VQRedirection>();
    std::wstring command = CmdCommandOf(line);
    return RedirectionReader(command.c_str()).Read();
}

bool HoldsPercentPair(const wchar_t* text, int length) {
    int open = -1;
    for (int i = 0; i < length; ++i) {
        if (text[i] != L'%') continue;
        if (open >= 0 && i > open + 1) return true;
        open = i;
    }
    return false;
}

VQWString CmdBuiltinMessage(const VQWString& word) {
    VQWString message;
    message.Format(L"%s は cmd の内部コマンドです。cmd /c %s … と書いてください。", word.Text(), word.Text());
    return message;
}

namespace {

// What the check of every target's lines needs beyond the templates.
struct LineCheckInput {
    const std::vector<RunTarget>* entries = nullptr;  // roots; null: single files
    VQWString directory;
    // With an output template: each target's output ($out), and the targets
    // whose lines are expanded, the first `end` (the others' outputs failed).
    const std::vector<VQWString>* outputs = nullptr;
    int end = -1;
};

// The first of the texts equal to each, by open addressing over their
// hashes: a table of indices, not a node per text, which a big check spent
// much of its time allocating.
class FirstOfEqual {
public:
    FirstOfEqual(const std::vector<VQWString>& texts, int count) : texts(texts) {
        size_t size = 16;
        while (size < static_cast<size_t>(count) * 2) size *= 2;
        slots.assign(size, -1);
        hashes.resize(size);
    }

    // The first index added whose text equals texts[index], after adding
    // index when there is none (then index itself).
    int Add(int index) {
        std::wstring_view text = View(texts[static_cast<size_t>(index)]);
        size_t hash = HashOf(text);
        size_t at = Probe(text, hash);
        if (slots[at] < 0) {
            slots[at] = index;
            hashes[at] = hash;
        }
        return slots[at];
    }

    // The first index added whose text equals `text`, or -1.
    int Find(std::wstring_view text) const { return slots[Probe(text, HashOf(text))]; }

private:
    size_t Probe(std::wstring_view text, size_t hash) const {
        size_t mask = slots.size() - 1;
        size_t at = hash & mask;
        while (slots[at] >= 0 && (hashes[at] != hash || View(texts[static_cast<size_t>(slots[at])]) != text)) {
            at = (at + 1) & mask;
        }
        return at;
    }

    const std::vector<VQWString>& texts;
    std::vector<int> slots;  // -1: empty
    std::vector<size_t> hashes;
};

// The disk's answers for the outputs and, for the up-to-date rule, their
// sources, asked by two threads: under Wine the look-ups are most of a big
// check's time. Listing the output folders and looking the sources up run
// best side by side (Wine lists one folder at a time), so the targets come
// in blocks of two kinds: a block's outputs, then its sources. One thread
// takes the outputs first, the other the sources, and each takes the other
// kind when its own has nothing ready. The outputs are read as they are
// made.
//
// Each thread has its own folder lists (OutputStateCache), which only read
// the characters of the paths: the strings' counts of users are not atomic,
// and nothing changes those characters meanwhile.
class OutputDiskReads {
public:
    OutputDiskReads(const std::vector<VQWString>& outputs, const std::vector<VQWString>& identities, int count,
                    const std::vector<RunTarget>& entries, bool upToDateRule)
        : outputs(outputs),
          identities(identities),
          entries(entries),
          count(count),
          blocks((count + kBlock - 1) / kBlock),
          withSources(upToDateRule),
          listed(new std::atomic<bool>[static_cast<size_t>(blocks)]),
          limit(count),
          states(static_cast<size_t>(count)) {
        for (int b = 0; b < blocks; ++b) listed[static_cast<size_t>(b)] = false;
        if (withSources) upToDate.assign(static_cast<size_t>(count), 0);
    }

    static const int kBlock = 1024;

    // The outputs of the first `end` targets are made; with `last`, no
    // other will be.
    void Made(int end, bool last) {
        if (last) Limit(end);
        made.store(end, std::memory_order_release);
    }

    // No target from `end` on needs asking (an earlier one failed).
    void Limit(int end) {
        int known = limit.load();
        while (end < known && !limit.compare_exchange_weak(known, end)) {
        }
    }

    // Takes blocks until none is left; `share` 1 prefers the sources.
    void Work(int share) {
        OutputStateCache disk;
        for (;;) {
            if (share == 1 && TakeSources(disk)) continue;
            if (TakeOutputs(disk)) continue;
            if (TakeSources(disk)) continue;
            if (!withSources || nextSources >= blocks || nextSources * kBlock >= limit) return;
            // The other thread is listing the block these sources wait for.
            Sleep(1);
        }
    }

    // What the disk said of target i's output (after the threads have ended).
    const OutputState& StateOf(int i) const { return states[static_cast<size_t>(i)]; }

    // The first target below `end` whose output is a folder, or -1.
    int FirstFolder(int end) const {
        for (int i = 0; i < std::min(end, count); ++i) {
            if (states[static_cast<size_t>(i)].folder) return i;
        }
        return -1;
    }

    std::vector<char> upToDate;  // with the up-to-date rule

private:
    bool TakeOutputs(OutputStateCache& disk) {
        int b = nextOutputs.fetch_add(1);
        if (b >= blocks || b * kBlock >= limit) return false;
        int to = std::min(count, (b + 1) * kBlock);
        // The outputs are made while the first blocks are read.
        while (made.load(std::memory_order_acquire) < std::min(to, limit.load())) Sleep(1);
        to = std::min(to, limit.load());
        for (int i = b * kBlock; i < to; ++i) {
            size_t at = static_cast<size_t>(i);
            states[at] = disk.Read(outputs[at], identities[at]);
        }
        listed[static_cast<size_t>(b)].store(true, std::memory_order_release);
        return true;
    }

    bool TakeSources(OutputStateCache& disk) {
        if (!withSources) return false;
        int b = nextSources.load();
        do {
            if (b >= blocks || b * kBlock >= limit || !listed[static_cast<size_t>(b)].load(std::memory_order_acquire)) {
                return false;
            }
        } while (!nextSources.compare_exchange_weak(b, b + 1));
        int to = std::min(count, (b + 1) * kBlock);
        for (int i = b * kBlock; i < to; ++i) {
            size_t at = static_cast<size_t>(i);
            const OutputState& state = states[at];
            if (!state.exists || state.folder || entries[at].interrupted) continue;
            OutputState read = disk.ReadIfListed(entries[at].path);
            upToDate[at] = read.exists && IsUpToDate(read.written, state.written);
        }
        return true;
    }

    const std::vector<VQWString>& outputs;
    const std::vector<VQWString>& identities;
    const std::vector<RunTarget>& entries;
    const int count;
    const int blocks;
    const bool withSources;
    std::unique_ptr<std::atomic<bool>[]> listed;  // per block: its outputs are read
    std::atomic<int> limit;
    std::atomic<int> made{0};
    std::atomic<int> nextOutputs{0};
    std::atomic<int> nextSources{0};
    std::vector<OutputState> states;
};

// What of a command line tells whether two targets' lines clash.
enum class LineKey {
    None,            // nothing is compared (no command, one target, outputs compared instead)
    UsesPre,         // the line holds $pre, not known before the run
    Whole,           // only the target's own path is in it: the lines as they are
    WithoutOwnPath,  // the lines with the target's own path set aside
};

// Neither whether $pre is used nor whether anything but the target's path is
// depends on the target: the first target's line and one more expansion tell.
LineKey DecideLineKey(const VQWString& command, const VQArray<VQWString, VQWString>& targets,
                      const VQWString& firstLine, const std::vector<RunTarget>* entries) {
    const VQWString noOutput;
    const VQWString placeholder(kPreOutputPlaceholder);
    VQTemplateContext first;
    if (entries) first.root = (*entries)[0].root;
    VQWString unused;
    VQWString withoutPre = command;
    ExpandTemplate(withoutPre, targets[0], noOutput, first, unused);
    if (withoutPre != firstLine) return LineKey::UsesPre;
    // The variant lies below no root: $root and $reldir differ for it too
    // whenever they stand in the line.
    VQWString variant = Variant(targets[0]);
    VQWString variantLine = command;
    ExpandTemplate(variantLine, variant, placeholder, first, unused);
    if (entries) {
        for (const RunTarget& entry : *entries) {
            if (entry.root != (*entries)[0].root) return LineKey::WithoutOwnPath;
        }
    }
    return WithoutOwnPath(variantLine, variant) == WithoutOwnPath(firstLine, targets[0]) ? LineKey::Whole
                                                                                          : LineKey::WithoutOwnPath;
}

// Targets by the output they name: a group per output, in the order of its first target.
std::vector<VQCommandClash> GroupOutputs(const std::vector<VQWString>& outputIdentities, int count) {
    std::vector<VQCommandClash> groups;
    FirstOfEqual outputOf(outputIdentities, count);
    std::vector<int> groupOf(static_cast<size_t>(count), -1);  // by a group's first target
    for (int i = 0; i < count; ++i) {
        int first = outputOf.Add(i);
        if (first == i) {
            groupOf[static_cast<size_t>(i)] = static_cast<int>(groups.size());
            groups.push_back(VQCommandClash{1, i, -1});
        } else if (++groups[static_cast<size_t>(groupOf[static_cast<size_t>(first)])].count == 2) {
            groups[static_cast<size_t>(groupOf[static_cast<size_t>(first)])].second = i;
        }
    }
    return groups;
}

// The first output that is an entry of the list (it would overwrite an input).
void FindOutputThatIsEntry(const VQArray<VQWString, VQWString>& targets, const std::vector<VQWString>& entryIdentities,
                           FirstOfEqual& entryOf, const std::vector<VQWString>& outputIdentities,
                           const OutputDiskReads& reads, VQTemplateCheck& check) {
    int count = targets.GetCount();
    // An output that exists may be an entry in another spelling (出力先 through
    // a folder link to the sources): where it lies decides, then the files.
    EntryPlaces places(
        count, [&targets](int i) { return targets[i]; },
        [&entryIdentities](int i) { return entryIdentities[static_cast<size_t>(i)]; });
    for (int i = 0; i < count; ++i) {
        const VQWString& output = check.outputs[static_cast<size_t>(i)];
        int entry = entryOf.Find(View(outputIdentities[static_cast<size_t>(i)]));
        if (entry < 0 && reads.StateOf(i).exists) {
            entry = places.Find(output, outputIdentities[static_cast<size_t>(i)]);
            FileIdentity outputFile, entryFile;
            if (entry >= 0 && !(ReadFileIdentity(output, outputFile) && ReadFileIdentity(targets[entry], entryFile) &&
                                outputFile == entryFile)) {
                entry = -1;
            }
        }
        if (entry >= 0) {
            check.outputIsEntry = i;
            check.entryOfOutput = entry;
            return;
        }
    }
}

// Each target's output and its identity, handed to the disk's threads block
// by block; outputsMade becomes the first target whose output fails (its
// reason in outputError), and stays the count when none does.
void MakeOutputs(const VQWString& outputTemplate, const VQArray<VQWString, VQWString>& targets,
                 const std::vector<RunTarget>& entries, const VQWString& directory, std::vector<VQWString>& outputs,
                 std::vector<VQWString>& outputIdentities, OutputDiskReads& reads, int& outputsMade,
                 VQWString& outputError) {
    int count = targets.GetCount();
    for (int i = 0; i < count && outputsMade == count; ++i) {
        VQWString& output = outputs[static_cast<size_t>(i)];
        if (ExpandOutputPath(outputTemplate, targets[i], entries[static_cast<size_t>(i)].root, directory, output,
                             outputError)) {
            outputIdentities[static_cast<size_t>(i)] = PathIdentity(output);
            if ((i + 1) % OutputDiskReads::kBlock == 0) reads.Made(i + 1, false);
        } else {
            outputsMade = i;
        }
    }
}

void TakeSkips(const OutputDiskReads& reads, int count, VQTemplateCheck& check) {
    check.skip.assign(static_cast<size_t>(count), false);
    for (int i = 0; i < count; ++i) {
        if (!reads.upToDate[static_cast<size_t>(i)]) continue;
        check.skip[static_cast<size_t>(i)] = true;
        ++check.skipCount;
    }
}

VQTemplateCheck CheckLines(const VQWString& preCommand, const VQWString& command,
                           const VQArray<VQWString, VQWString>& targets, const LineCheckInput& input) {
    VQTemplateCheck check;
    int count = targets.GetCount();
    const VQWString noOutput;
    const VQWString placeholder(kPreOutputPlaceholder);
    const VQWString& directory = input.directory;
    bool withOutput = input.outputs != nullptr;
    // With outputs known, they are what is compared (CheckJob).
    bool compareLines = !withOutput && count >= 2 && !command.IsEmpty();
    LineKey lineKey = LineKey::None;
    std::vector<size_t> lineHashes;
    if (compareLines) lineHashes.resize(static_cast<size_t>(count));
    int end = input.end >= 0 ? input.end : count;

    // No value can hold a ">" (no file name does): templates without one redirect nothing.
    bool redirects = preCommand.FindOneOf(L">", 0) >= 0 || command.FindOneOf(L">", 0) >= 0;
    OutputTable outputs(directory);
    VQTemplateContext context;
    context.hasOutput = withOutput;
    for (int i = 0; i < end; ++i) {
        if (input.entries) context.root = (*input.entries)[static_cast<size_t>(i)].root;
        if (withOutput) context.output = (*input.outputs)[static_cast<size_t>(i)];
        VQWString pre = preCommand;
        if (!ExpandTemplate(pre, targets[i], noOutput, context, check.errorText, kMaxCommandLineUnits)) {
            check.preCommandFailed = true;
            check.failedIndex = i;
            return check;
        }
        VQWString line = command;
        if (!ExpandTemplate(line, targets[i], placeholder, context, check.errorText, kMaxCommandLineUnits)) {
            check.failedIndex = i;
            return check;
        }
        if (compareLines) {
            if (i == 0) lineKey = DecideLineKey(command, targets, line, input.entries);
            if (lineKey == LineKey::Whole) {
                lineHashes[static_cast<size_t>(i)] = HashOf(View(line));
            } else if (lineKey == LineKey::WithoutOwnPath) {
                std::wstring without = WithoutOwnPath(line, targets[i]);
                // Lines that name no file of their own but the target's clash only when identical.
                lineHashes[static_cast<size_t>(i)] = NamesAFile(without) ? HashOf(without) : HashOf(View(line));
            }
        }
        if (redirects) {
            outputs.Add(i, pre);
            outputs.Add(i, line);
        }
        // Every value but $pre comes from the path (and the output from it):
        // without two "%" in them, none holds a pair.
        if (HasTwoPercents(targets[i]) || HasTwoPercents(context.root) || HasTwoPercents(context.output)) {
            const wchar_t* variable = nullptr;
            bool inPre = !pre.IsEmpty() && GoesThroughCmd(pre.Text()) &&
                         (variable = VariableWithPercentPair(preCommand, targets[i], noOutput, context)) != nullptr;
            if (!inPre && GoesThroughCmd(line.Text())) {
                variable = VariableWithPercentPair(command, targets[i], placeholder, context);
            }
            if (variable) {
                if (check.percentTargets++ == 0) {
                    check.percentIndex = i;
                    check.percentInPreCommand = inPre;
                    check.percentVariable = variable;
                }
            }
        }
    }
    outputs.Collect(check);
    if (lineKey == LineKey::UsesPre) check.commandUsesPre = true;
    if (lineKey != LineKey::Whole && lineKey != LineKey::WithoutOwnPath) return check;
    // The line of one target again, as it was hashed.
    auto keyOf = [&](int i) {
        VQTemplateContext again;
        if (input.entries) again.root = (*input.entries)[static_cast<size_t>(i)].root;
        VQWString line = command;
        VQWString unused;
        ExpandTemplate(line, targets[i], placeholder, again, unused);
        if (lineKey == LineKey::Whole) return std::wstring(View(line));
        std::wstring without = WithoutOwnPath(line, targets[i]);
        return NamesAFile(without) ? without : std::wstring(View(line));
    };
    GroupLinesByHash(lineHashes, keyOf, check);
    return check;
}

}  // namespace

VQTemplateCheck CheckTemplates(const VQWString& preCommand, const VQWString& command,
                               const VQArray<VQWString, VQWString>& targets, const VQWString& directory) {
    LineCheckInput input;
    input.directory = directory;
    return CheckLines(preCommand, command, targets, input);
}

VQTemplateCheck CheckJob(const VQWString& preCommand, const VQWString& command, const VQWString& outputTemplate,
                         const std::vector<RunTarget>& entries, const VQWString& directory, bool skipUpToDate) {
    TimingMark("check begins");
    int count = static_cast<int>(entries.size());
    VQArray<VQWString, VQWString> targets;
    targets.SetSize(-count);
    for (const RunTarget& entry : entries) targets.Add(entry.path);
    LineCheckInput input;
    input.entries = &entries;
    input.directory = directory;
    if (outputTemplate.IsEmpty()) return CheckLines(preCommand, command, targets, input);

    // Every output first. The first target that fails, whichever way, is the
    // one told; for one target, its output's template before its folder on
    // the disk before its lines.
    //
    // The disk is asked on two threads while this one makes the outputs,
    // expands the lines and compares the outputs: those threads allocate
    // next to nothing, and under Wine two threads allocating at once are
    // many times slower.
    std::vector<VQWString> outputs(static_cast<size_t>(count));
    std::vector<VQWString> outputIdentities(static_cast<size_t>(count));
    OutputDiskReads reads(outputs, outputIdentities, count, entries, skipUpToDate);
    auto share = [&reads](int which) { reads.Work(which); };
    TwoThreadsBeside<decltype(share)> disk(share, count > OutputDiskReads::kBlock);
    int outputsMade = count;
    // Whatever leaves this function, the threads waiting for outputs are let go before they are joined.
    struct LetGo {
        OutputDiskReads& reads;
        const int& made;
        ~LetGo() { reads.Made(made, true); }
    } letGo{reads, outputsMade};
    VQWString outputError;
    MakeOutputs(outputTemplate, targets, entries, directory, outputs, outputIdentities, reads, outputsMade, outputError);
    reads.Made(outputsMade, true);

    input.outputs = &outputs;
    input.end = outputsMade;
    VQTemplateCheck check = CheckLines(preCommand, command, targets, input);
    // No target after the first that fails needs the disk.
    if (check.failedIndex >= 0) reads.Limit(check.failedIndex + 1);

    // Outputs by the file they name, and an output that is an entry (it
    // would overwrite an input).
    std::vector<VQCommandClash> groups;
    std::vector<VQWString> entryIdentities;
    std::unique_ptr<FirstOfEqual> entryOf;
    if (check.failedIndex < 0 && outputsMade == count) {
        groups = GroupOutputs(outputIdentities, count);
        entryIdentities.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) entryIdentities[static_cast<size_t>(i)] = PathIdentity(targets[i]);
        entryOf.reset(new FirstOfEqual(entryIdentities, count));
        // A file listed twice is the first of its entries.
        for (int i = 0; i < count; ++i) entryOf->Add(i);
    }

    disk.Join();
    int folder = reads.FirstFolder(check.failedIndex >= 0 ? check.failedIndex + 1 : outputsMade);
    if (folder >= 0) {
        VQTemplateCheck failed;
        failed.errorText = OutputIsFolderMessage(outputs[static_cast<size_t>(folder)]);
        failed.failedIndex = folder;
        failed.outputFailed = true;
        failed.outputs = std::move(outputs);
        return failed;
    }
    check.outputs = std::move(outputs);
    if (check.failedIndex >= 0) return check;
    if (outputsMade < count) {
        check.errorText = outputError;
        check.failedIndex = outputsMade;
        check.outputFailed = true;
        return check;
    }

    check.outputsCompared = true;
    for (const VQCommandClash& group : groups) {
        if (group.count < 2) continue;
        check.clashes.push_back(group);
        check.clashOutputs.push_back(check.outputs[static_cast<size_t>(group.first)]);
        check.clashingTargets += group.count;
    }
    FindOutputThatIsEntry(targets, entryIdentities, *entryOf, outputIdentities, reads, check);
    if (skipUpToDate) TakeSkips(reads, count, check);
    return check;
}
