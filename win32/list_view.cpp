#include "win32/list_view.h"

#include <cwchar>

#include "win32/dpi.h"

VQWin32DialogItemListView::VQWin32DialogItemListView(int id, VQWin32ListViewSource* src,
                                                     const std::vector<VQWin32ListViewColumn>& cols)
    : VQWin32DialogItem(id), source(src), columns(cols) {
    // Enter, Ctrl+A, the menu key and the empty table's words are the wrapper's own.
    subclass = 1;
}

bool VQWin32DialogItemListView::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER |
                     LVS_EX_INFOTIP;
    SendMessageW(controlHandle, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    UINT dpi = VQWin32GetWindowDpi(controlHandle);
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = columns[i].format;
        column.cx = VQWin32ScaleToDpi(columns[i].width, dpi);
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.iSubItem = static_cast<int>(i);
        SendMessageW(controlHandle, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    return true;
}

int VQWin32DialogItemListView::GetCount() {
    return controlHandle ? static_cast<int>(SendMessageW(controlHandle, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

bool VQWin32DialogItemListView::SetCount(int count) {
    if (!controlHandle) return false;
    return SendMessageW(controlHandle, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL) != 0;
}

int VQWin32DialogItemListView::GetSelectedIndices(std::vector<int>& into) {
    into.clear();
    if (!controlHandle) return 0;
    int count = GetSelectedCount();
    into.reserve(static_cast<size_t>(count));
    for (int row = -1;;) {
        row = static_cast<int>(SendMessageW(controlHandle, LVM_GETNEXTITEM, row, LVNI_SELECTED));
        if (row < 0) break;
        into.push_back(row);
    }
    return static_cast<int>(into.size());
}

int VQWin32DialogItemListView::GetSelectedCount() {
    return controlHandle ? static_cast<int>(SendMessageW(controlHandle, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
}

bool VQWin32DialogItemListView::IsSelected(int row) {
    if (!controlHandle) return false;
    return (SendMessageW(controlHandle, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

bool VQWin32DialogItemListView::SetSelected(int row, bool selected) {
    if (!controlHandle) return false;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    return SendMessageW(controlHandle, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

bool VQWin32DialogItemListView::SetSelectedAll(bool selected) { return SetSelected(-1, selected); }

bool VQWin32DialogItemListView::SelectOnly(int row) {
    if (!controlHandle) return false;
    SetSelectedAll(false);
    if (row < 0) return true;
    if (row >= GetCount()) return false;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(controlHandle, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    // The mark for a range with Shift starts here.
    SendMessageW(controlHandle, LVM_SETSELECTIONMARK, 0, row);
    EnsureVisible(row);
    return true;
}

void VQWin32DialogItemListView::SelectRows(const std::vector<int>& rows) {
    if (!controlHandle) return;
    SetSelectedAll(false);
    for (int row : rows) SetSelected(row, true);
    if (rows.empty()) return;
    LVITEMW item = {};
    item.stateMask = LVIS_FOCUSED;
    item.state = LVIS_FOCUSED;
    SendMessageW(controlHandle, LVM_SETITEMSTATE, rows[0], reinterpret_cast<LPARAM>(&item));
    SendMessageW(controlHandle, LVM_SETSELECTIONMARK, 0, rows[0]);
    EnsureVisible(rows[0]);
}

int VQWin32DialogItemListView::GetFocused() {
    return controlHandle ? static_cast<int>(SendMessageW(controlHandle, LVM_GETNEXTITEM, -1, LVNI_FOCUSED)) : -1;
}

bool VQWin32DialogItemListView::EnsureVisible(int row) {
    return controlHandle && SendMessageW(controlHandle, LVM_ENSUREVISIBLE, row, FALSE) != 0;
}

bool VQWin32DialogItemListView::ScrollToTop(int row) {
    RECT rect;
    int top = GetTopIndex();
    if (!GetRowRect(top, &rect) || rect.bottom <= rect.top) return false;
    // Report view scrolls by whole rows: dy is in pixels.
    return SendMessageW(controlHandle, LVM_SCROLL, 0, (row - top) * (rect.bottom - rect.top)) != 0;
}

int VQWin32DialogItemListView::GetTopIndex() {
    return controlHandle ? static_cast<int>(SendMessageW(controlHandle, LVM_GETTOPINDEX, 0, 0)) : 0;
}

int VQWin32DialogItemListView::GetCountPerPage() {
    return controlHandle ? static_cast<int>(SendMessageW(controlHandle, LVM_GETCOUNTPERPAGE, 0, 0)) : 0;
}

bool VQWin32DialogItemListView::GetRowRect(int row, RECT* rect) {
    if (!controlHandle || !rect) return false;
    rect->left = LVIR_BOUNDS;
    return SendMessageW(controlHandle, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(rect)) != 0;
}

void VQWin32DialogItemListView::RedrawRows(int first, int last) {
    if (!controlHandle) return;
    if (first < 0) {
        InvalidateRect(controlHandle, nullptr, FALSE);
        return;
    }
    SendMessageW(controlHandle, LVM_REDRAWITEMS, first, last);
}

std::vector<int> VQWin32DialogItemListView::GetColumnWidths() {
    std::vector<int> widths;
    for (size_t i = 0; i < columns.size() && controlHandle; ++i) {
        widths.push_back(static_cast<int>(SendMessageW(controlHandle, LVM_GETCOLUMNWIDTH, i, 0)));
    }
    return widths;
}

void VQWin32DialogItemListView::SetColumnWidths(const std::vector<int>& widths) {
    for (size_t i = 0; i < columns.size() && i < widths.size() && controlHandle; ++i) {
        SendMessageW(controlHandle, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
    }
}

std::vector<int> VQWin32DialogItemListView::GetColumnOrder() {
    std::vector<int> order(columns.size());
    if (!controlHandle || order.empty()) return order;
    SendMessageW(controlHandle, LVM_GETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data()));
    return order;
}

bool VQWin32DialogItemListView::SetColumnOrder(const std::vector<int>& order) {
    if (!controlHandle || order.size() != columns.size()) return false;
    // Each column once: an order of some other shape would hide columns.
    std::vector<bool> seen(columns.size(), false);
    for (int column : order) {
        if (column < 0 || column >= static_cast<int>(columns.size()) || seen[static_cast<size_t>(column)]) return false;
        seen[static_cast<size_t>(column)] = true;
    }
    std::vector<int> copy = order;
    return SendMessageW(controlHandle, LVM_SETCOLUMNORDERARRAY, copy.size(), reinterpret_cast<LPARAM>(copy.data())) != 0;
}

void VQWin32DialogItemListView::SetSortMark(int sorted, bool descending) {
    if (!controlHandle) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(controlHandle, LVM_GETHEADER, 0, 0));
    if (!header) return;
    for (size_t i = 0; i < columns.size(); ++i) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (static_cast<int>(i) == sorted) item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

int VQWin32DialogItemListView::HitTestRow(POINT client) {
    if (!controlHandle) return -1;
    LVHITTESTINFO hit = {};
    hit.pt = client;
    return static_cast<int>(SendMessageW(controlHandle, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

VQWString VQWin32DialogItemListView::GetCellText(int row, int column) {
    if (!controlHandle) return VQWString();
    // The control copies at most the buffer it is given; a longer text is asked again.
    for (int units = 512;; units *= 4) {
        VQWString text;
        if (!text.SetLength(units)) return VQWString();
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text.GetData();
        item.cchTextMax = units + 1;
        int got = static_cast<int>(SendMessageW(controlHandle, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (got < units || units >= 65536) {
            text.SetLength(got < 0 ? 0 : got);
            return text;
        }
    }
}

HFONT VQWin32DialogItemListView::GetFont() {
    return controlHandle ? reinterpret_cast<HFONT>(SendMessageW(controlHandle, WM_GETFONT, 0, 0)) : nullptr;
}

LRESULT VQWin32DialogItemListView::CustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        int column = draw->iSubItem;
        if (column < 0 || column >= static_cast<int>(columns.size()) || !columns[static_cast<size_t>(column)].marked) {
            return CDRF_DODEFAULT;
        }
        // The marked cell is drawn whole here: its mark, then its text.
        int row = static_cast<int>(draw->nmcd.dwItemSpec);
        RECT cell = {};
        cell.top = column;
        cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
        if (!SendMessageW(controlHandle, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell))) {
            return CDRF_DODEFAULT;
        }
        HDC dc = draw->nmcd.hdc;
        bool selected = IsSelected(row);
        bool focused = GetFocus() == controlHandle;
        COLORREF back = GetSysColor(selected ? (focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : COLOR_WINDOW);
        COLORREF fore = GetSysColor(selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
        HBRUSH brush = CreateSolidBrush(back);
        FillRect(dc, &cell, brush);
        DeleteObject(brush);
        int size = cell.bottom - cell.top;
        RECT mark = {cell.left + 2, cell.top, cell.left + 2 + size, cell.bottom};
        source->DrawCellMark(dc, mark, row, column);
        VQWString text = source->CellText(row, column);
        RECT textArea = {mark.right + 2, cell.top, cell.right - 2, cell.bottom};
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, fore);
        DrawTextW(dc, text.Text(), text.GetLength(), &textArea, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        return CDRF_SKIPDEFAULT;
    }
    default: return CDRF_DODEFAULT;
    }
}

int VQWin32DialogItemListView::MessageProc(HWND, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY || !source) return 0;
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    LRESULT result = 0;
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
        if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) break;
        VQWString text = source->CellText(info->item.iItem, info->item.iSubItem);
        int n = text.GetLength() < info->item.cchTextMax - 1 ? text.GetLength() : info->item.cchTextMax - 1;
        wmemcpy(info->item.pszText, text.Text(), static_cast<size_t>(n));
        info->item.pszText[n] = L'\0';
        break;
    }
    case LVN_GETINFOTIPW: {
        // The tip of a row: the text of its cells the source puts first (the full path).
        auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
        if (!tip->pszText || tip->cchTextMax <= 0) break;
        VQWString text = source->CellText(tip->iItem, -1);
        int n = text.GetLength() < tip->cchTextMax - 1 ? text.GetLength() : tip->cchTextMax - 1;
        wmemcpy(tip->pszText, text.Text(), static_cast<size_t>(n));
        tip->pszText[n] = L'\0';
        break;
    }
    case LVN_COLUMNCLICK: source->OnColumnClick(reinterpret_cast<NMLISTVIEW*>(lParam)->iSubItem); break;
    case LVN_ITEMCHANGED: {
        auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
        if ((change->uChanged & LVIF_STATE) && ((change->uOldState ^ change->uNewState) & LVIS_SELECTED)) {
            source->OnSelectionChanged();
        }
        break;
    }
    case LVN_ODSTATECHANGED: source->OnSelectionChanged(); break;
    case NM_DBLCLK: {
        int row = reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem;
        if (row >= 0) source->OnOpenRow(row);
        break;
    }
    case NM_CUSTOMDRAW: result = CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)); break;
    default: break;
    }
    // A dialog procedure answers notifications through DWLP_MSGRESULT.
    SetWindowLongPtrW(dialogHandle, DWLP_MSGRESULT, result);
    return TRUE;
}

LRESULT VQWin32DialogItemListView::ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE: {
        // Enter opens the row instead of pressing the panel's default button.
        LRESULT code = VQWin32DialogItem::ControlProc(control, message, wParam, lParam);
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN: {
        bool ctrl = GetKeyState(VK_CONTROL) < 0;
        if (wParam == VK_RETURN && source) {
            int row = GetFocused();
            if (row < 0 && GetSelectedCount() > 0) row = static_cast<int>(SendMessageW(control, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
            if (row >= 0) source->OnOpenRow(row);
            return 0;
        }
        if (wParam == 'A' && ctrl) {
            SetSelectedAll(true);
            return 0;
        }
        if (wParam == VK_DELETE && source) {
            source->OnDeleteKey();
            return 0;
        }
        break;
    }
    case WM_CHAR:
        // Ctrl+A's character would start an incremental search for "\x01".
        if (wParam == 1 || wParam == L'\r') return 0;
        break;
    case WM_CONTEXTMENU: {
        if (!source) break;
        POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        // From the keyboard (the menu key, Shift+F10): beside the focused row.
        if (lParam == -1) {
            RECT row = {};
            int focused = GetFocused();
            if (focused >= 0 && GetRowRect(focused, &row)) {
                at = {row.left + 16, row.bottom};
            } else {
                at = {8, 8};
            }
            ClientToScreen(control, &at);
        }
        source->OnContextMenu(at);
        return 0;
    }
    case WM_PAINT: {
        LRESULT painted = VQWin32DialogItem::ControlProc(control, message, wParam, lParam);
        if (GetCount() > 0 || !source) return painted;
        // An empty table says what to do, under its header.
        VQWString text = source->EmptyText();
        HDC dc = GetDC(control);
        RECT area;
        GetClientRect(control, &area);
        HWND header = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0));
        RECT headerRect = {};
        if (header && GetWindowRect(header, &headerRect)) area.top += headerRect.bottom - headerRect.top;
        InflateRect(&area, -8, -8);
        HGDIOBJ old = SelectObject(dc, GetFont());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(dc, text.Text(), text.GetLength(), &area, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        return painted;
    }
    default: break;
    }
    return VQWin32DialogItem::ControlProc(control, message, wParam, lParam);
}
