// The framework's own message box: a popup of the class "VQMsgBox" with the
// text above a centred row of buttons, run in a private message loop while
// the main window (and the windows it owns) is disabled.
#pragma once

#include <windows.h>

#include <functional>

class VQWin32Window;

// Button layouts: label -> result.
enum VQMsgBoxLayout {
    VQMB_OK = -999,                    // "OK" 1
    VQMB_OKCANCEL = -998,              // "OK" 1, "ｷｬﾝｾﾙ" 2
    VQMB_YESNO = -997,                 // "はい" 6, "いいえ" 7
    VQMB_YESNOCANCEL = -996,           // "はい" 6, "いいえ" 7, "ｷｬﾝｾﾙ" 2
    VQMB_YESALLNOALLCANCEL = -995,     // "はい" 6, "すべてはい" 256, "いいえ" 7, "すべていいえ" 257, "ｷｬﾝｾﾙ" 2
    VQMB_RETRYCANCEL = -994,           // "再試行" 4, "ｷｬﾝｾﾙ" 2
    VQMB_CONTINUEABORT = -993,         // "継続" 11, "中止" 3
    VQMB_ABORTRETRYIGNORE = -992,      // "中止" 3, "再試行" 4, "無視" 5
};

// Results of the two "all" answers; the others are the system's dialog ids.
constexpr int kVQIdYesAll = 256;
constexpr int kVQIdNoAll = 257;

// Or'ed into the default-button argument: bring the box to the foreground.
constexpr int kVQMsgBoxForeground = static_cast<int>(0x80000000u);

// Shows text under caption with the buttons of `layout` (a negative code of
// VQMsgBoxLayout, or n >= 0 for n buttons "ボタン1" ... answering 1 ... n)
// and waits for an answer. defaultButton is the 1-based button that starts
// focused (outside 1 ... count: the first). Returns the pressed button's
// result; Escape and the close box give 2 for the named layouts and 0 for
// the numbered ones. -1: a layout code below -999 or between -991 and -1,
// another box still open, no window could be made, or the main window was
// closed under the box, which went with it unanswered.
int MsgBox(VQWin32Window* owner, const wchar_t* text, const wchar_t* caption, int layout, int defaultButton);

// Runs nobody watches: while a collector is set, MsgBox shows nothing and
// answers at once as the default button would (a numbered layout's button
// number, the named layouts' result), and the collector hears the text, the
// caption and that answer. An empty function shows the boxes again.
typedef std::function<void(const wchar_t* text, const wchar_t* caption, int answer)> VQMsgBoxCollector;
void SetMsgBoxUnattended(VQMsgBoxCollector collector);
