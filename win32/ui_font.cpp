// The UI font: its choice, the queries of the system it is made from, and
// dialog templates rewritten to use it.
#include "win32/ui_font.h"

#include <cstring>
#include <cwchar>

#include "base/timing_log.h"
#include "win32/dpi.h"

namespace {

// In this order of preference, where installed.
const wchar_t* const kPreferredFaces[] = {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic"};

// The characters of the program's labels that a font must have: kana and kanji.
const wchar_t kJapaneseSample[] = L"対象ファイルにコマンドを実行する先行拡張子停止";

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool IsInstalled(const wchar_t* face) {
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    HDC dc = GetDC(nullptr);
    if (!dc) return false;
    EnumFontFamiliesExW(dc, &wanted, NoteFace, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

bool GetMessageFont(LOGFONTW* font) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return false;
    *font = metrics.lfMessageFont;
    // The metrics are at the system's DPI, whatever a test makes the windows report.
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    if (dpi > 0) font->lfHeight = MulDiv(font->lfHeight, kVQBaseDpi, dpi);
    return font->lfHeight != 0;
}

bool ShowsJapanese(const LOGFONTW& description) {
    LOGFONTW sized = description;
    sized.lfHeight = -16;
    sized.lfWidth = 0;
    HFONT font = CreateFontIndirectW(&sized);
    HDC dc = GetDC(nullptr);
    bool shows = false;
    if (font && dc) {
        HGDIOBJ previous = SelectObject(dc, font);
        const int length = static_cast<int>(wcslen(kJapaneseSample));
        WORD glyphs[64];
        if (GetGlyphIndicesW(dc, kJapaneseSample, length, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == DWORD(length)) {
            shows = true;
            for (int i = 0; i < length; ++i) {
                if (glyphs[i] == 0xFFFF) shows = false;
            }
        }
        SelectObject(dc, previous);
    }
    if (dc) ReleaseDC(nullptr, dc);
    if (font) DeleteObject(font);
    return shows;
}

bool Contains(const wchar_t* text, const wchar_t* part) { return wcsstr(text, part) != nullptr; }

// How well a face of the Japanese character set suits labels and messages.
int SuitsLabels(const LOGFONTW& font, DWORD type) {
    const wchar_t* face = font.lfFaceName;
    int family = font.lfPitchAndFamily & 0xF0;
    int score = 0;
    // A gothic (sans serif); a mincho (serif) or a decorative face is for print.
    if (family != FF_ROMAN && family != FF_SCRIPT && family != FF_DECORATIVE) score += 4;
    if ((font.lfPitchAndFamily & 0x03) == VARIABLE_PITCH && !Contains(face, L"Mono")) score += 2;
    if (!(type & RASTER_FONTTYPE)) score += 1;
    // Made for Japanese, not a pan-CJK fallback drawing kanji in Chinese forms.
    if (Contains(face, L"JP") || Contains(face, L"Japan") || Contains(face, L"Gothic") ||
        Contains(face, L"ゴシック")) {
        score += 1;
    }
    return score;
}

struct FaceSearch {
    LOGFONTW best;
    int bestScore;
};

int CALLBACK WeighFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM param) {
    auto* search = reinterpret_cast<FaceSearch*>(param);
    // "@" faces lie on their side, for vertical writing.
    if (font->lfFaceName[0] == L'@') return 1;
    int score = SuitsLabels(*font, type);
    if (score > search->bestScore) {
        search->best = *font;
        search->bestScore = score;
    }
    return 1;
}

bool FindJapaneseFace(LOGFONTW* font) {
    LOGFONTW wanted = {};
    wanted.lfCharSet = SHIFTJIS_CHARSET;
    FaceSearch search = {};
    search.bestScore = -1;
    HDC dc = GetDC(nullptr);
    if (!dc) return false;
    EnumFontFamiliesExW(dc, &wanted, WeighFace, reinterpret_cast<LPARAM>(&search), 0);
    ReleaseDC(nullptr, dc);
    if (search.bestScore < 0) return false;
    wcsncpy(font->lfFaceName, search.best.lfFaceName, LF_FACESIZE);
    font->lfCharSet = SHIFTJIS_CHARSET;
    return true;
}

const VQUiFontSystem kSystemQueries = {IsInstalled, GetMessageFont, ShowsJapanese, FindJapaneseFace};

const VQUiFontSystem* g_system = nullptr;  // null: kSystemQueries
bool g_chosen = false;
LOGFONTW g_font;

void UseFace(LOGFONTW* font, const wchar_t* face, BYTE charset) {
    wcsncpy(font->lfFaceName, face, LF_FACESIZE - 1);
    font->lfFaceName[LF_FACESIZE - 1] = L'\0';
    font->lfCharSet = charset;
}

}  // namespace

const VQUiFontSystem& VQWin32SystemFontQueries() { return kSystemQueries; }

LOGFONTW VQWin32ChooseUiFont(const VQUiFontSystem& system) {
    TimingMark("font choice begins");
    LOGFONTW message = {};
    if (!system.getMessageFont(&message)) {
        // 9 points at 96 DPI: the message font of every recent Windows.
        message = LOGFONTW();
        message.lfHeight = -12;
        message.lfCharSet = DEFAULT_CHARSET;
    }
    LOGFONTW chosen = message;
    for (const wchar_t* face : kPreferredFaces) {
        if (!system.isInstalled(face)) continue;
        UseFace(&chosen, face, DEFAULT_CHARSET);
        return chosen;
    }
    if (message.lfFaceName[0] && system.showsJapanese(message)) return chosen;
    LOGFONTW japanese = message;
    if (system.findJapaneseFace(&japanese)) UseFace(&chosen, japanese.lfFaceName, japanese.lfCharSet);
    return chosen;
}

const LOGFONTW& VQWin32UiFont() {
    if (!g_chosen) {
        g_font = VQWin32ChooseUiFont(g_system ? *g_system : kSystemQueries);
        g_chosen = true;
        TimingMark("font chosen");
    }
    return g_font;
}

void VQWin32ResetUiFont(const VQUiFontSystem* system) {
    g_system = system;
    g_chosen = false;
}

HFONT VQWin32CreateUiFont(UINT dpi) {
    LOGFONTW font = VQWin32UiFont();
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi > 0 ? dpi : kVQBaseDpi), kVQBaseDpi);
    font.lfWidth = 0;
    return CreateFontIndirectW(&font);
}

int VQWin32UiFontPoints() {
    int height = VQWin32UiFont().lfHeight;
    int points = MulDiv(height < 0 ? -height : height, 72, kVQBaseDpi);
    return points > 0 ? points : 9;
}

namespace {

// An sz_Or_Ord field of a template: none, an ordinal, or a string; returns the unit after it.
size_t SkipNameOrOrdinal(const WORD* units, size_t at, size_t count) {
    if (at >= count) return count + 1;
    if (units[at] == 0x0000) return at + 1;
    if (units[at] == 0xFFFF) return at + 2;
    while (at < count && units[at] != 0) ++at;
    return at + 1;
}

}  // namespace

std::vector<DWORD> VQWin32DialogWithUiFont(HINSTANCE instance, int templateId) {
    std::vector<DWORD> result;
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(templateId), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    DWORD size = found ? SizeofResource(instance, found) : 0;
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style,
    // style, item count, x, y, cx, cy; then menu, class and title.
    const size_t kFixedBytes = 26;
    if (!bytes || size < kFixedBytes + 6) return result;
    const WORD* units = reinterpret_cast<const WORD*>(bytes);
    size_t count = size / 2;
    DWORD style;
    memcpy(&style, bytes + 12, sizeof style);
    if (units[0] != 1 || units[1] != 0xFFFF || !(style & DS_SETFONT)) return result;
    size_t at = kFixedBytes / 2;
    at = SkipNameOrOrdinal(units, at, count);  // menu
    at = SkipNameOrOrdinal(units, at, count);  // class
    at = SkipNameOrOrdinal(units, at, count);  // title
    // The font: point size, weight, italic and character set, face.
    size_t fontAt = at;
    if (fontAt + 3 >= count) return result;
    size_t faceEnd = SkipNameOrOrdinal(units, fontAt + 3, count);
    if (faceEnd > count) return result;
    // The items start at the next DWORD boundary, in the copy as in the resource.
    size_t itemsAt = (faceEnd * 2 + 3) & ~size_t(3);
    if (itemsAt > size) itemsAt = size;

    const LOGFONTW& font = VQWin32UiFont();
    std::vector<WORD> head(units, units + fontAt);
    head.push_back(static_cast<WORD>(VQWin32UiFontPoints()));
    head.push_back(units[fontAt + 1]);  // the template's weight
    // The template's italic byte, then the UI font's character set.
    head.push_back(static_cast<WORD>((units[fontAt + 2] & 0x00FF) | (font.lfCharSet << 8)));
    for (const wchar_t* c = font.lfFaceName; *c; ++c) head.push_back(static_cast<WORD>(*c));
    head.push_back(0);
    size_t headBytes = (head.size() * 2 + 3) & ~size_t(3);
    result.assign((headBytes + (size - itemsAt) + 3) / 4, 0);
    BYTE* out = reinterpret_cast<BYTE*>(result.data());
    memcpy(out, head.data(), head.size() * 2);
    memcpy(out + headBytes, bytes + itemsAt, size - itemsAt);
    return result;
}

TEXTMETRICW VQWin32ControlFontMetrics(HWND control) {
    TEXTMETRICW metrics = {};
    HDC dc = GetDC(control);
    if (!dc) return metrics;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return metrics;
}
