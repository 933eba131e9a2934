#include "win32/link_line.h"

#include <commctrl.h>

#include <utility>

namespace {

// The control reads "<" and "&" in its text as markup.
void AppendEscaped(VQWString& into, const VQWString& text) {
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t c = text.Text()[i];
        if (c == L'<') {
            into.Append(L"&lt;");
        } else if (c == L'&') {
            into.Append(L"&amp;");
        } else {
            into.Append(c);
        }
    }
}

}  // namespace

VQWin32DialogItemLinkLine::VQWin32DialogItemLinkLine(int id, std::function<void(const wchar_t* name)> click)
    : VQWin32DialogItem(id), onClick(std::move(click)) {}

bool VQWin32DialogItemLinkLine::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    SetWindowTextW(controlHandle, markup.Text());
    return true;
}

int VQWin32DialogItemLinkLine::MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_NOTIFY) return VQWin32DialogItem::MessageProc(hwnd, message, wParam, lParam);
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if ((header->code == NM_CLICK || header->code == NM_RETURN) && onClick) {
        const NMLINK* link = reinterpret_cast<const NMLINK*>(lParam);
        onClick(link->item.szID);
        return 0;
    }
    return 1;
}

VQWString VQWin32DialogItemLinkLine::GetTextW(bool) { return plain; }

void VQWin32DialogItemLinkLine::SetParts(const std::vector<VQWin32LinkPart>& parts) {
    VQWString nextMarkup, nextPlain;
    for (const VQWin32LinkPart& part : parts) {
        nextPlain.Append(part.text.Text());
        bool link = part.name && part.name[0];
        if (link) {
            nextMarkup.Append(L"<a id=\"");
            nextMarkup.Append(part.name);
            nextMarkup.Append(L"\">");
        }
        AppendEscaped(nextMarkup, part.text);
        if (link) nextMarkup.Append(L"</a>");
    }
    plain = nextPlain;
    if (nextMarkup == markup) return;
    markup = nextMarkup;
    if (controlHandle) SetWindowTextW(controlHandle, markup.Text());
}
