// The store of a start without a window: which of its problems a portable
// start tells, and that the place is read when the store is first made.
#include "app/start_store.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& text) { return std::wstring(text.Text(), text.GetLength()); }

}  // namespace

TEST(StartStore, TellsOnlyAPortableStartsProblemsNamingItsFile) {
    TempDir dir;
    std::wstring broken = dir.WriteFile(L"broken\\Quenbrix.ini", "[Quenbrix\x80\x81\r\nCommand = x\xC0\r\n");
    std::wstring fine = dir.WriteFile(L"fine\\Quenbrix.ini", "[Quenbrix]\r\nCommand = x\r\n");
    struct Case {
        bool portable;
        const std::wstring& file;
        bool unwritable;
        const wchar_t* told;  // the text's beginning; nullptr: nothing told
    } cases[] = {
        {true, fine, false, nullptr},
        {true, broken, false, L"Quenbrix.ini を設定ファイルとして読み込めません。"},
        {true, broken, true, L"プログラムのフォルダーに書き込めません。"},
        {true, fine, true, L"プログラムのフォルダーに書き込めません。"},
        {false, broken, false, nullptr},
    };
    for (const Case& c : cases) {
        StoragePlace place;
        StartStore store(place);
        // Set after the part is made, before its first use: that is the place it takes.
        place.portable = c.portable;
        place.settingsFile = VQWString(c.file.c_str());
        place.unwritable = c.unwritable;
        std::wstring told = W(store.ProblemText());
        SCOPED_TRACE(testing::Message() << c.portable << " " << (c.file == broken) << " " << c.unwritable);
        if (!c.told) {
            EXPECT_EQ(L"", told);
            continue;
        }
        EXPECT_EQ(0u, told.find(c.told)) << "the text said";
        EXPECT_NE(std::wstring::npos, told.find(L"\n" + c.file)) << "the file named";
    }
}
