// VQWin32DialogItemListBoxW: the list box item and the list operations the
// application needs, so that no code outside the framework sends LB_
// messages itself.
#include <algorithm>
#include <vector>

#include "win32/dialog_items.h"

namespace {

// Up to this many entries are deleted one by one; more, and the list is
// rebuilt from what stays (each deletion moves every entry after it).
constexpr int kDeleteOneByOne = 64;

// Turns repainting off for many changes and repaints once at the end.
class RedrawPause {
public:
    explicit RedrawPause(HWND list) : list(list) { SendMessageW(list, WM_SETREDRAW, FALSE, 0); }
    ~RedrawPause() {
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    HWND list;
};

// One reservation for what is about to be added, so the list does not grow
// (and copy itself) entry by entry.
void Reserve(HWND list, int count, size_t bytes) {
    if (count > 0) SendMessageW(list, LB_INITSTORAGE, count, static_cast<LPARAM>(bytes));
}

}  // namespace

VQWin32DialogItemListBoxW::VQWin32DialogItemListBoxW(int controlId) : VQWin32DialogItem(controlId), selection(0) {}

bool VQWin32DialogItemListBoxW::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    int count = initialStrings.GetCount();
    for (int i = 0; i < count; ++i) {
        SendMessageW(controlHandle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(initialStrings[i].Text()));
    }
    if (selection >= 0 && selection < count) SendMessageW(controlHandle, LB_SETCURSEL, selection, 0);
    initialStrings.RemoveAll();
    return true;
}

void VQWin32DialogItemListBoxW::Commit() {
    if (controlHandle) selection = static_cast<int>(SendMessageW(controlHandle, LB_GETCURSEL, 0, 0));
}

int VQWin32DialogItemListBoxW::OnCommand(int, int code, HWND) {
    if (code != LBN_SELCHANGE) return 1;
    if (controlHandle) selection = static_cast<int>(SendMessageW(controlHandle, LB_GETCURSEL, 0, 0));
    NotifyChange(0, selection);
    return 0;
}

int VQWin32DialogItemListBoxW::GetCount() {
    if (!controlHandle) return 0;
    return static_cast<int>(SendMessageW(controlHandle, LB_GETCOUNT, 0, 0));
}

int VQWin32DialogItemListBoxW::GetCurSel() {
    if (controlHandle) selection = static_cast<int>(SendMessageW(controlHandle, LB_GETCURSEL, 0, 0));
    return selection;
}

VQWString VQWin32DialogItemListBoxW::GetString(int index) {
    VQWString result;
    if (!controlHandle) return result;
    int length = static_cast<int>(SendMessageW(controlHandle, LB_GETTEXTLEN, index, 0));
    if (length == LB_ERR) return result;
    result.SetLength(length);
    int got = static_cast<int>(SendMessageW(controlHandle, LB_GETTEXT, index, reinterpret_cast<LPARAM>(result.GetData())));
    result.SetLength(got == LB_ERR ? 0 : got);
    return result;
}

void VQWin32DialogItemListBoxW::GetAllStrings(VQArray<VQWString, VQWString>& into) {
    int count = GetCount();
    if (count < 0) {
        into.RemoveAll();
        return;
    }
    into.SetSize(count);
    for (int i = 0; i < count; ++i) into[i] = GetString(i);
}

bool VQWin32DialogItemListBoxW::IsMultipleSelection() {
    LONG_PTR style = GetWindowLongPtrW(controlHandle, GWL_STYLE);
    return (style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
}

int VQWin32DialogItemListBoxW::AddString(const wchar_t* text) {
    if (!controlHandle) return LB_ERR;
    return static_cast<int>(SendMessageW(controlHandle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : L"")));
}

int VQWin32DialogItemListBoxW::AddStrings(const VQArray<VQWString, VQWString>& strings) {
    int count = strings.GetCount();
    if (!controlHandle || count == 0) return 0;
    size_t bytes = 0;
    for (int i = 0; i < count; ++i) bytes += (static_cast<size_t>(strings[i].GetLength()) + 1) * sizeof(wchar_t);
    RedrawPause pause(controlHandle);
    Reserve(controlHandle, count, bytes);
    int added = 0;
    for (int i = 0; i < count; ++i) {
        if (AddString(strings[i].Text()) >= 0) ++added;
    }
    return added;
}

bool VQWin32DialogItemListBoxW::DeleteString(int index) {
    if (!controlHandle || index < 0) return false;
    return SendMessageW(controlHandle, LB_DELETESTRING, index, 0) != LB_ERR;
}

int VQWin32DialogItemListBoxW::DeleteIndices(const VQArray<int, int>& indices) {
    int count = GetCount();
    if (count <= 0) return 0;
    std::vector<int> doomed;
    for (int i = 0; i < indices.GetCount(); ++i) {
        if (indices[i] >= 0 && indices[i] < count) doomed.push_back(indices[i]);
    }
    std::sort(doomed.begin(), doomed.end());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    int deleted = static_cast<int>(doomed.size());
    if (deleted == 0) return 0;
    RedrawPause pause(controlHandle);
    // The entry at the top stays there: the view does not jump.
    int top = GetTopIndex();
    int newTop = top - static_cast<int>(std::lower_bound(doomed.begin(), doomed.end(), top) - doomed.begin());
    if (deleted <= kDeleteOneByOne) {
        // From the end, so the indices still to go do not move.
        for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
            SendMessageW(controlHandle, LB_DELETESTRING, *it, 0);
        }
        SetTopIndex(newTop);
        return deleted;
    }
    struct Kept {
        VQWString text;
        LPARAM data;
        bool selected;
    };
    bool multiple = IsMultipleSelection();
    int current = multiple ? LB_ERR : static_cast<int>(SendMessageW(controlHandle, LB_GETCURSEL, 0, 0));
    std::vector<Kept> kept;
    kept.reserve(count - deleted);
    size_t bytes = 0;
    size_t next = 0;
    for (int i = 0; i < count; ++i) {
        if (next < doomed.size() && doomed[next] == i) {
            ++next;
            continue;
        }
        bool selected = multiple ? SendMessageW(controlHandle, LB_GETSEL, i, 0) > 0 : i == current;
        kept.push_back({GetString(i), GetItemData(i), selected});
        bytes += (static_cast<size_t>(kept.back().text.GetLength()) + 1) * sizeof(wchar_t);
    }
    SendMessageW(controlHandle, LB_RESETCONTENT, 0, 0);
    Reserve(controlHandle, static_cast<int>(kept.size()), bytes);
    for (size_t i = 0; i < kept.size(); ++i) {
        int at = AddString(kept[i].text.Text());
        if (at < 0) continue;
        if (kept[i].data) SendMessageW(controlHandle, LB_SETITEMDATA, at, kept[i].data);
        if (!kept[i].selected) continue;
        if (multiple) {
            SendMessageW(controlHandle, LB_SETSEL, TRUE, at);
        } else {
            SendMessageW(controlHandle, LB_SETCURSEL, at, 0);
        }
    }
    SetTopIndex(newTop);
    return deleted;
}

void VQWin32DialogItemListBoxW::ResetContent() {
    if (controlHandle) SendMessageW(controlHandle, LB_RESETCONTENT, 0, 0);
}

int VQWin32DialogItemListBoxW::GetSelectedIndices(VQArray<int, int>& into) {
    into.RemoveAll();
    if (!controlHandle) return 0;
    if (!IsMultipleSelection()) {
        int current = GetCurSel();
        if (current >= 0) into.Add(current);
        return into.GetCount();
    }
    int count = static_cast<int>(SendMessageW(controlHandle, LB_GETSELCOUNT, 0, 0));
    if (count <= 0) return 0;
    into.SetSize(count);
    int got = static_cast<int>(
        SendMessageW(controlHandle, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(into.GetData())));
    into.SetSize(got < 0 ? 0 : got);
    return into.GetCount();
}

bool VQWin32DialogItemListBoxW::SelectOnly(int index) {
    if (!controlHandle || index < -1 || index >= GetCount()) return false;
    if (!IsMultipleSelection()) {
        // LB_SETCURSEL scrolls the entry into view by itself.
        SendMessageW(controlHandle, LB_SETCURSEL, index, 0);
        selection = index;
        return true;
    }
    SendMessageW(controlHandle, LB_SETSEL, FALSE, -1);
    if (index < 0) return true;
    SendMessageW(controlHandle, LB_SETSEL, TRUE, index);
    // The anchor too, so that a following Shift+click or Shift+arrow extends
    // from this entry; FALSE scrolls it fully into view.
    SendMessageW(controlHandle, LB_SETANCHORINDEX, index, 0);
    SendMessageW(controlHandle, LB_SETCARETINDEX, index, FALSE);
    return true;
}

int VQWin32DialogItemListBoxW::GetHorizontalExtent() {
    if (!controlHandle) return 0;
    return static_cast<int>(SendMessageW(controlHandle, LB_GETHORIZONTALEXTENT, 0, 0));
}

void VQWin32DialogItemListBoxW::SetHorizontalExtent(int pixels) {
    if (controlHandle) SendMessageW(controlHandle, LB_SETHORIZONTALEXTENT, pixels > 0 ? pixels : 0, 0);
}

int VQWin32DialogItemListBoxW::FitHorizontalExtent() {
    if (!controlHandle) return 0;
    HDC dc = GetDC(controlHandle);
    if (!dc) return 0;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(controlHandle, WM_GETFONT, 0, 0));
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    int widest = 0;
    int count = GetCount();
    for (int i = 0; i < count; ++i) {
        VQWString text = GetString(i);
        SIZE size = {0, 0};
        if (GetTextExtentPoint32W(dc, text.Text(), text.GetLength(), &size) && size.cx > widest) widest = size.cx;
    }
    // The list draws each entry a little in from its left edge: leave as
    // much again at the right, so the last character is not cut.
    TEXTMETRICW metrics;
    int margin = GetTextMetricsW(dc, &metrics) ? metrics.tmAveCharWidth / 2 + 2 : 4;
    if (previous) SelectObject(dc, previous);
    ReleaseDC(controlHandle, dc);
    int extent = widest > 0 ? widest + margin : 0;
    SetHorizontalExtent(extent);
    return extent;
}

int VQWin32DialogItemListBoxW::GetTopIndex() {
    if (!controlHandle) return 0;
    return static_cast<int>(SendMessageW(controlHandle, LB_GETTOPINDEX, 0, 0));
}

bool VQWin32DialogItemListBoxW::SetTopIndex(int index) {
    if (!controlHandle || index < 0) return false;
    return SendMessageW(controlHandle, LB_SETTOPINDEX, index, 0) != LB_ERR;
}

bool VQWin32DialogItemListBoxW::SetItemData(int index, LPARAM data) {
    if (!controlHandle || index < 0) return false;
    return SendMessageW(controlHandle, LB_SETITEMDATA, index, data) != LB_ERR;
}

LPARAM VQWin32DialogItemListBoxW::GetItemData(int index) {
    if (!controlHandle || index < 0) return LB_ERR;
    return SendMessageW(controlHandle, LB_GETITEMDATA, index, 0);
}

int VQWin32DialogItemListBoxW::GetItemHeight() {
    if (!controlHandle) return LB_ERR;
    return static_cast<int>(SendMessageW(controlHandle, LB_GETITEMHEIGHT, 0, 0));
}

bool VQWin32DialogItemListBoxW::SetItemHeight(int pixels) {
    // The control keeps a height in one byte's range.
    if (!controlHandle || pixels < 1 || pixels > 255) return false;
    return SendMessageW(controlHandle, LB_SETITEMHEIGHT, 0, MAKELPARAM(pixels, 0)) != LB_ERR;
}

HFONT VQWin32DialogItemListBoxW::GetFont() {
    if (!controlHandle) return nullptr;
    return reinterpret_cast<HFONT>(SendMessageW(controlHandle, WM_GETFONT, 0, 0));
}
