#include "win32/popup_menu.h"

bool ShowMenuBelow(HINSTANCE instance, int menuId, HWND owner, HWND below, const std::vector<int>& grayed,
                   const std::vector<int>& removed) {
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(menuId));
    if (!menu) return false;
    HMENU popup = GetSubMenu(menu, 0);
    for (int id : grayed) EnableMenuItem(popup, id, MF_BYCOMMAND | MF_GRAYED);
    for (int id : removed) DeleteMenu(popup, id, MF_BYCOMMAND);
    RECT place = {};
    if (below) GetWindowRect(below, &place);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, place.left, place.bottom, 0, owner, nullptr);
    DestroyMenu(menu);
    return true;
}
