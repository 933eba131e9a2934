#include "win32/text_wrap.h"

#include <cwchar>
#include <vector>

namespace {

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A line may end after these: a path between its folders, words at a blank.
bool EndsALine(wchar_t c) { return c == L'\\' || c == L'/' || c == L' '; }

// Marks that close what comes before them: a line does not start with one.
bool StartsNoLine(wchar_t c) { return c && wcschr(L"、。，．,.:：;；!！?？)）]］」』】〕〉》…‥ー・", c) != nullptr; }

// Units of line[0, length) that fit in maxWidth pixels.
int FittingUnits(HDC dc, const wchar_t* line, int length, int maxWidth) {
    // Measured at most one unit past what a pixel apiece would fill: a longer
    // line never fits, and a line of a few megabytes is not measured whole
    // for every piece of it.
    int measured = length < maxWidth + 1 ? length : maxWidth + 1;
    int fit = 0;
    SIZE size;
    if (!GetTextExtentExPointW(dc, line, measured, maxWidth, &fit, nullptr, &size)) return length;
    return fit >= measured && measured == length ? length : fit;
}

// Where a line longer than the width is broken: the units before the break.
int BreakAt(const wchar_t* line, int length, int fit) {
    int cut = fit < 1 ? 1 : fit;
    if (cut < length && IsLowSurrogate(line[cut])) cut = cut > 1 ? cut - 1 : cut + 1;
    // After a separator, unless that leaves the line less than a third full.
    for (int i = cut; i > cut / 3 && i > 0; --i) {
        if (EndsALine(line[i - 1])) return i;
    }
    // A closing mark goes with the character before it, a step back at most twice.
    for (int step = 0; step < 2 && cut > 1 && StartsNoLine(line[cut]); ++step) {
        --cut;
        if (IsLowSurrogate(line[cut]) && cut > 1) --cut;
    }
    return cut;
}

}  // namespace

VQWString WrapTextToWidth(HDC dc, const wchar_t* text, int maxWidth, int maxLines) {
    struct Span {
        const wchar_t* start;
        int length;
    };
    std::vector<Span> lines;
    const wchar_t* p = text ? text : L"";
    for (;;) {
        const wchar_t* end = p;
        while (*end && *end != L'\r' && *end != L'\n') ++end;
        int length = static_cast<int>(end - p);
        do {
            int take = length;
            if (maxWidth > 0 && length > 0) {
                int fit = FittingUnits(dc, p, length, maxWidth);
                if (fit < length) take = BreakAt(p, length, fit);
            }
            lines.push_back(Span{p, take});
            p += take;
            length -= take;
        } while (length > 0);
        if (!*end) break;
        p = end + (end[0] == L'\r' && end[1] == L'\n' ? 2 : 1);
    }
    bool cutShort = maxLines > 0 && static_cast<int>(lines.size()) > maxLines;
    if (cutShort) lines.resize(static_cast<size_t>(maxLines - 1));
    VQWString result;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) result.Append(L'\n');
        if (lines[i].length > 0) result.Append(lines[i].start, lines[i].length);
    }
    if (cutShort) result.Append(lines.empty() ? L"…" : L"\n…", 0);
    return result;
}
