// Records every text the test program draws with DrawTextW while the object
// lives: what a user reads in a window that draws its own text (the message
// box) rather than keeping it in a control.
#pragma once

#include <string>
#include <vector>

class DrawnText {
public:
    DrawnText();
    ~DrawnText();
    DrawnText(const DrawnText&) = delete;
    DrawnText& operator=(const DrawnText&) = delete;

    // Texts drawn (not only measured) so far, oldest first.
    std::vector<std::wstring> Texts() const;
    // Whether the text was drawn, as it is or with long lines wrapped.
    bool Saw(const std::wstring& text) const;
    // The DT_ format of every call with this text, measuring (DT_CALCRECT)
    // calls included, oldest first.
    std::vector<unsigned> Formats(const std::wstring& text) const;
    void Clear();
};
