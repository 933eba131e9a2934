#include "app/job_library.h"

namespace {

const wchar_t kNoJob[] = L"（なし）";
const wchar_t kBrokenMark[] = L" （読み込めません）";

}  // namespace

void JobLibrary::SetFolder(const VQWString& folder, bool canWrite) {
    store = JobStore(folder);
    writable = canWrite;
}

void JobLibrary::Refresh() {
    entries = store.List();
    if (ShownIndex() == 0) current = VQWString();
}

std::vector<VQWString> JobLibrary::ShownEntries() const {
    std::vector<VQWString> shown;
    shown.push_back(VQWString(kNoJob));
    for (const JobEntry& job : entries) {
        VQWString text = job.name;
        if (!job.loads) text.Append(kBrokenMark);
        shown.push_back(text);
    }
    return shown;
}

std::vector<VQWString> JobLibrary::Names() const {
    std::vector<VQWString> names;
    for (const JobEntry& job : entries) {
        if (job.loads) names.push_back(job.name);
    }
    return names;
}

int JobLibrary::ShownIndex() const {
    int index = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name == current) index = static_cast<int>(i) + 1;
    }
    return index;
}

VQWString JobLibrary::NameAt(int shownIndex) const {
    return shownIndex > 0 && shownIndex <= static_cast<int>(entries.size()) ? entries[shownIndex - 1].name
                                                                             : VQWString();
}

VQWString JobLibrary::CaptionWith(const wchar_t* idle) const {
    if (current.IsEmpty()) return VQWString(idle);
    VQWString caption;
    return caption.Format(L"%s - %s", current.Text(), idle);
}

bool JobLibrary::FileToLoad(const VQWString& name, VQWString& path, VQWString& error) const {
    path = VQWString();
    if (name.IsEmpty()) return true;
    if (!FindJob(name, path, error)) {
        // This library's folder may differ from the start's (tests); its list decides.
        bool listed = false;
        for (const JobEntry& job : store.List()) listed = listed || job.name == name;
        if (!listed) return false;
        path = store.PathOf(name);
    }
    for (const JobEntry& job : entries) {
        if (job.name == name && !job.loads) {
            error.Format(L"ジョブ「%s」は設定ファイルとして読み込めません。\n%s", name.Text(), job.path.Text());
            return false;
        }
    }
    return true;
}

JobLibrary::NameCheck JobLibrary::CheckSaveName(const VQWString& name) const {
    NameCheck check;
    if (!JobStore::CheckName(name, check.refusal)) return check;
    check.refusal = VQWString();
    if (store.Exists(name) && !(name == current)) {
        check.question.Format(L"ジョブ「%s」は既にあります。上書きしますか？", name.Text());
    }
    return check;
}

bool JobLibrary::SavePath(const VQWString& name, VQWString& path, VQWString& error) const {
    if (!writable || !store.MakeFolder()) {
        error.Format(L"ジョブを保存するフォルダーを作れません。\n%s", store.Folder().Text());
        return false;
    }
    path = store.PathOf(name);
    return true;
}

VQWString JobLibrary::OverwritePartlyReadQuestion(const VQWString& name) {
    VQWString text;
    return text.Format(L"ジョブ「%s」のファイルは一部を読み込めませんでした。保存すると読み込めなかった部分は失われます。"
                       L"上書きしますか？",
                       name.Text());
}

VQWString JobLibrary::SaveFailedText(const VQWString& path) {
    VQWString text;
    return text.Format(L"ジョブの保存に失敗しました。\n%s", path.Text());
}

VQWString JobLibrary::DeleteQuestion() const {
    VQWString text;
    return text.Format(L"ジョブ「%s」を削除しますか？", current.Text());
}

bool JobLibrary::DeleteCurrent(VQWString& error) {
    if (current.IsEmpty()) return false;
    if (!store.Remove(current)) {
        error.Format(L"ジョブを削除できませんでした。\n%s", store.PathOf(current).Text());
        return false;
    }
    current = VQWString();
    return true;
}
