#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/files.h"
#include "base/vm_values.h"
#include "tests/support/temp_dir.h"
#include "tests/support/vm_string_support.h"

namespace {

typedef std::unique_ptr<VQFile> FilePtr;

FilePtr Open(const std::wstring& path, unsigned flags) { return FilePtr(NewFile(path.c_str(), flags)); }

}  // namespace

TEST(FileVMString, WritesBytesAndLengthPrefixedBytes) {
    TempDir dir;
    std::wstring path = dir.Join(L"values.bin");
    {
        FilePtr file = Open(path, 1);
        ASSERT_NE(nullptr, file);
        VMString whole("ab\x82\xa0");
        VMPtr view(whole.MidView(1, 2));
        EXPECT_TRUE(file->WriteVMString(&whole));
        EXPECT_TRUE(file->WriteVMString(nullptr));
        EXPECT_TRUE(file->WriteLengthVMString(view.get())) << "only the view's bytes";
        EXPECT_TRUE(file->WriteLengthVMString(nullptr));
    }
    EXPECT_EQ(std::string("ab\x82\xa0" "\x02\0\0\0" "b\x82" "\0\0\0\0", 14), dir.ReadFile(L"values.bin"));

    FilePtr reader = Open(path, 8);
    ASSERT_NE(nullptr, reader);
    VMString x("x");
    EXPECT_FALSE(reader->WriteVMString(&x)) << "not in write mode";
}

TEST(FileVMString, ReadsAreCutToWhatIsThere) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"in.bin", std::string("\x03\0\0\0" "abc" "\x09\0\0\0" "xy", 13));
    FilePtr file = Open(path, 8);
    ASSERT_NE(nullptr, file);
    bool ok = false;
    VMPtr counted(file->ReadLengthVMString(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ("abc", Bytes(counted));
    EXPECT_EQ(1, counted->GetRefCount());

    VMPtr head(file->ReadVMString(2));
    EXPECT_EQ(std::string("\x09\0", 2), Bytes(head));
    VMPtr rest(file->ReadVMString(100));
    EXPECT_EQ(std::string("\0\0xy", 4), Bytes(rest)) << "cut to what was read";
    VMPtr atEnd(file->ReadVMString(5));
    EXPECT_TRUE(atEnd->IsNull());

    file->Rewind();
    file->Skip(7);
    VMPtr shortRead(file->ReadLengthVMString(&ok));
    EXPECT_FALSE(ok) << "9 bytes announced, 2 there";
    EXPECT_TRUE(shortRead->IsNull());

    FilePtr writer = Open(dir.Join(L"out.bin"), 1);
    ASSERT_NE(nullptr, writer);
    VMPtr failed(writer->ReadVMString(4));
    EXPECT_TRUE(failed->IsNull()) << "a read error leaves the string empty";
}
