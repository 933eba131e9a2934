#include "app/start_store.h"

SettingsStore& StartStore::Open(const char* registryKey) {
    if (!store) {
        store = place.portable ? NewFileStore(place.settingsFile, !place.unwritable, &fileState)
                               : NewRegistryStore(registryKey);
    }
    return *store;
}

VQWString StartStore::ProblemText() {
    VQWString text;
    if (!place.portable) return text;
    // The file's state is known once it has been read.
    Open("");
    if (place.unwritable) {
        text.Format(L"プログラムのフォルダーに書き込めません。設定、履歴、リスト、結果とジョブはどれも保存しません"
                    L"（レジストリにも保存しません）。\n%s",
                    place.settingsFile.Text());
    } else if (fileState == kSettingsFileUnreadable) {
        text.Format(L"Quenbrix.ini を設定ファイルとして読み込めません。既定の設定で起動します。"
                    L"このファイルは書き換えません。\n%s",
                    place.settingsFile.Text());
    }
    return text;
}
