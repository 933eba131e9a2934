#include "win32/shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

// Spelled out: the import library with these identifiers is not linked.
const CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kSendToFolder = {0x8983036C, 0x27C0, 0x404B, {0x8F, 0x08, 0x10, 0x2D, 0x10, 0xDC, 0xFD, 0x74}};

}  // namespace

bool CreateShortcut(const VQWString& linkPath, const VQWString& target, const VQWString& arguments,
                    const VQWString& description) {
    HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool made = false;
    void* object = nullptr;
    if (SUCCEEDED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkW, &object))) {
        IShellLinkW* link = static_cast<IShellLinkW*>(object);
        link->SetPath(target.Text());
        link->SetArguments(arguments.Text());
        link->SetDescription(description.Text());
        link->SetIconLocation(target.Text(), 0);
        void* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(kPersistFile, &persist))) {
            made = SUCCEEDED(static_cast<IPersistFile*>(persist)->Save(linkPath.Text(), TRUE));
            static_cast<IPersistFile*>(persist)->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(initialized)) CoUninitialize();
    return made;
}

VQWString SendToFolder() {
    PWSTR path = nullptr;
    VQWString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(kSendToFolder, 0, nullptr, &path)) && path) {
        folder = path;
        if (!folder.IsEmpty() && folder.GetAt(folder.GetLength() - 1) != L'\\') folder.Append(L"\\");
    }
    CoTaskMemFree(path);
    return folder;
}
