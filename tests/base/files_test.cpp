#include "base/files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

typedef std::unique_ptr<VQFile> FilePtr;

FilePtr Open(const std::wstring& path, unsigned flags) { return FilePtr(NewFile(path.c_str(), flags)); }

// Bytes 0, 1, ... 250, 0, 1, ...: a wrong offset shows in the value read.
std::string Pattern(int n) {
    std::string bytes(n, '\0');
    for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

std::string Units(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

}  // namespace

TEST(FileOpen, FlagsChooseModeAndSharing) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"a.bin", "old contents");
    EXPECT_EQ(nullptr, Open(dir.Join(L"missing.bin"), 0x08));

    FilePtr reader = Open(path, 0x08);
    ASSERT_NE(nullptr, reader);
    EXPECT_TRUE(reader->IsOpen());
    EXPECT_EQ(12, reader->GetSize());
    EXPECT_EQ(8192, reader->GetBufferSize());
    // Share read lets another reader in; an exclusive open keeps it out.
    EXPECT_NE(nullptr, Open(path, 0x08));
    reader.reset();
    FilePtr exclusive = Open(path, 0);
    ASSERT_NE(nullptr, exclusive);
    EXPECT_EQ(nullptr, Open(path, 0x08));
    exclusive.reset();

    EXPECT_NE(nullptr, Open(path, 1));
    EXPECT_EQ("", dir.ReadFile(L"a.bin"));  // writing truncates
}

TEST(FileOpen, ASharedReadGetsInBesideAWriterOrADeleter) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"busy.ini", "contents");
    // An editor holding the file for writing, and a program holding it with
    // delete access; each lets others read.
    const DWORD access[] = {GENERIC_WRITE, DELETE};
    for (DWORD holderAccess : access) {
        HANDLE holder = CreateFileW(path.c_str(), holderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        FilePtr reader = Open(path, kFileShareRead);
        ASSERT_NE(nullptr, reader) << holderAccess;
        char bytes[8];
        EXPECT_TRUE(reader->ReadExact(bytes, 0, 8));
        EXPECT_EQ("contents", std::string(bytes, 8));
        reader.reset();
        EXPECT_EQ(nullptr, Open(path, 0)) << "without kFileShareRead the open stays exclusive";
        CloseHandle(holder);
    }
}

TEST(FileRead, LinesAcrossTheBufferEdge) {
    TempDir dir;
    // CR at byte 8191 and LF at byte 8192: the line end is split by a refill.
    std::string first(8191 - 6, 'x');
    std::string text = "line1\n" + first + "\r\n" + "second\n\nlast";
    std::wstring path = dir.WriteFile(L"lines.txt", text);
    FilePtr file = Open(path, 8);
    ASSERT_NE(nullptr, file);
    char buf[9000];
    EXPECT_EQ(5, file->ReadLine(buf, 0, sizeof buf));
    EXPECT_STREQ("line1", buf);
    EXPECT_EQ(static_cast<int>(first.size()), file->ReadLine(buf, 0, sizeof buf));
    EXPECT_EQ(first, std::string(buf));
    EXPECT_EQ(3, file->ReadLine(buf, 0, 4));  // too long: in pieces
    EXPECT_EQ(3, file->ReadLine(buf, 0, 4));
    EXPECT_STREQ("ond", buf);
    EXPECT_EQ(0, file->ReadLine(buf, 0, sizeof buf));  // what is left: its LF
    EXPECT_EQ(0, file->ReadLine(buf, 0, sizeof buf));  // the empty line
    EXPECT_EQ(4, file->ReadLine(buf, 0, sizeof buf));  // no line end
    EXPECT_STREQ("last", buf);
    EXPECT_EQ(-1, file->ReadLine(buf, 0, sizeof buf));
}

TEST(FileRead, WideLinesDropCrLf) {
    TempDir dir;
    FilePtr file = Open(dir.WriteFile(L"w.txt", Units(L"a\r\nb")), 8);
    ASSERT_NE(nullptr, file);
    wchar_t buf[8];
    EXPECT_EQ(1, file->ReadLineW(buf, 0, 8));
    EXPECT_STREQ(L"a", buf);
    EXPECT_EQ(1, file->ReadLineW(buf, 0, 8));
    EXPECT_STREQ(L"b", buf);
    EXPECT_EQ(-1, file->ReadLineW(buf, 0, 8));
}

TEST(FileWrite, TypedAndLengthPrefixedRoundTrip) {
    TempDir dir;
    std::wstring path = dir.Join(L"r.bin");
    {
        FilePtr out = Open(path, 1);
        ASSERT_NE(nullptr, out);
        EXPECT_TRUE(out->WriteInt32(-5));
        EXPECT_TRUE(out->WriteUInt32(0x11223344, true));
        EXPECT_TRUE(out->WriteDouble(2.5, true));
        EXPECT_TRUE(out->WriteLengthString(VQString("narrow")));
        EXPECT_TRUE(out->WriteLengthWString(VQWString(L"wide")));
        EXPECT_TRUE(out->WriteLengthCString("abcdef", 2, -1));
        EXPECT_TRUE(out->WriteInt32(100));  // a count with only two bytes behind it
        EXPECT_TRUE(out->Write("zz", 2));
    }
    std::string bytes = TempDir::ReadWholeFile(path);
    EXPECT_EQ(std::string("\x11\x22\x33\x44", 4), bytes.substr(4, 4));
    FilePtr in = Open(path, 8);
    ASSERT_NE(nullptr, in);
    bool ok = false;
    EXPECT_EQ(-5, in->ReadInt32(&ok, 0));
    EXPECT_EQ(0x11223344u, in->ReadUInt32(&ok, 0, true));
    EXPECT_EQ(2.5, in->ReadDouble(&ok, 0, true));
    EXPECT_TRUE(in->ReadLengthString(&ok).Equals("narrow"));
    EXPECT_TRUE(in->ReadLengthWString(&ok).Equals(L"wide"));
    EXPECT_TRUE(in->ReadLengthString(&ok).Equals("cdef"));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(in->ReadLengthString(&ok).IsEmpty());
    EXPECT_FALSE(ok);
}

TEST(FileWrite, RefusedInReadMode) {
    TempDir dir;
    FilePtr file = Open(dir.WriteFile(L"ro.txt", "keep"), 8);
    ASSERT_NE(nullptr, file);
    EXPECT_FALSE(file->Write("x", 1));
    EXPECT_FALSE(file->WriteText("x\n"));
    file.reset();
    EXPECT_EQ("keep", dir.ReadFile(L"ro.txt"));
}

TEST(FileWrite, AppendCreatesThenAppends) {
    TempDir dir;
    std::wstring path = dir.Join(L"log.txt");
    for (const char* piece : {"one\n", "two\n"}) {
        FilePtr file = Open(path, 3);
        ASSERT_NE(nullptr, file);
        EXPECT_TRUE(file->WriteCString(piece));
    }
    EXPECT_EQ("one\ntwo\n", dir.ReadFile(L"log.txt"));
    FilePtr file = Open(path, 3);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(8, file->Tell());
}

TEST(FileWrite, TextConvertsLineFeedsAndKeepsPairsWhole) {
    TempDir dir;
    std::wstring path = dir.Join(L"t.txt");
    {
        FilePtr file = Open(path, 1);
        ASSERT_NE(nullptr, file);
        // 表 ends in 0x5C; 0x81 0x0A is a pair whose second byte is LF.
        EXPECT_TRUE(file->WriteText("a\n\x95\x5C\x81\x0Az\x81"));
        EXPECT_TRUE(file->WriteTextW(L"b\n", 0));
        EXPECT_TRUE(file->WriteCStringZ("q"));
        EXPECT_TRUE(file->WriteWStringZ(VQWString(L"r")));
    }
    std::string expected = std::string("a\r\n\x95\x5C\x81\x0Az\x81", 9) + Units(L"b\r\n") + std::string("q\0r\0\0\0", 6);
    EXPECT_EQ(expected, dir.ReadFile(L"t.txt"));
}

TEST(FileWrite, CopyToAndWriteFromMoveEverything) {
    TempDir dir;
    std::string data = Pattern(20000);
    std::wstring source = dir.WriteFile(L"src.bin", data);
    {
        FilePtr in = Open(source, 8);
        FilePtr out = Open(dir.Join(L"copy.bin"), 1);
        ASSERT_TRUE(in && out);
        EXPECT_EQ(3000, in->CopyTo(out.get(), 3000));
        EXPECT_TRUE(out->WriteFrom(in.get()));
        EXPECT_EQ(0, in->Read(nullptr, 1));
    }
    EXPECT_EQ(data, dir.ReadFile(L"copy.bin"));
}

// Writes to Linux's /dev/full fail with "disk full", which gives a flush that
// fails on a handle that opened fine.
TEST(FileWrite, CloseAfterAFailedFlush) {
    FilePtr file = Open(L"Z:\\dev\\full", 1);
    if (!file) GTEST_SKIP() << "no /dev/full behind drive Z:";
    EXPECT_TRUE(file->Write("pending", 7));
    EXPECT_FALSE(file->Flush());
    EXPECT_FALSE(file->Close(false));
    EXPECT_TRUE(file->IsOpen());
    EXPECT_EQ(7, file->Tell());
    EXPECT_FALSE(file->Seek(0, 0));
    std::string more = Pattern(9000);
    EXPECT_FALSE(file->Write(more.data(), 9000));  // needs a flush on the way
    EXPECT_TRUE(file->Close(true));
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(0u, file->GetFlags());
}

TEST(FileSeek, WithinTheBufferAndOutsideIt) {
    TempDir dir;
    std::string data = Pattern(20000);
    FilePtr file = Open(dir.WriteFile(L"s.bin", data), 8);
    ASSERT_NE(nullptr, file);
    char buf[16];
    ASSERT_TRUE(file->Skip(100));
    EXPECT_EQ(100, file->Tell());
    EXPECT_TRUE(file->Seek(-50, 1));  // inside the loaded part
    EXPECT_EQ(50, file->Tell());
    EXPECT_EQ(8192 - 50, file->GetBytesLeft());
    EXPECT_EQ(data[50], static_cast<char>(file->ReadUInt8(nullptr, 0)));
    EXPECT_TRUE(file->Seek(12000, 0));
    EXPECT_EQ(12000, file->Tell());
    EXPECT_EQ(data[12000], static_cast<char>(file->ReadUInt8(nullptr, 0)));
    EXPECT_TRUE(file->Seek(-9000, 1));  // back out of the loaded part
    EXPECT_EQ(3001, file->Tell());
    EXPECT_EQ(data[3001], static_cast<char>(file->ReadUInt8(nullptr, 0)));
    EXPECT_TRUE(file->Seek(-10, 2));
    EXPECT_EQ(10, file->Read(buf, 0, 16));
    EXPECT_EQ(data.substr(19990), std::string(buf, 10));
    EXPECT_FALSE(file->Seek(-1, 0));
    EXPECT_TRUE(file->Rewind());
    EXPECT_EQ(data[0], static_cast<char>(file->ReadUInt8(nullptr, 1)));
}

TEST(FileSeek, WriteModeFlushesThenOverwrites) {
    TempDir dir;
    std::wstring path = dir.Join(L"o.txt");
    FilePtr file = Open(path, 1);
    ASSERT_NE(nullptr, file);
    EXPECT_TRUE(file->Write("0123456789", 10));
    EXPECT_TRUE(file->Seek(2, 0));
    EXPECT_EQ(2, file->Tell());
    EXPECT_TRUE(file->Write("ab", 2));
    EXPECT_TRUE(file->Close());
    EXPECT_EQ("01ab456789", dir.ReadFile(L"o.txt"));
}

TEST(FileSeek, WindowLimitsReadsAndSeeks) {
    TempDir dir;
    std::string data = Pattern(20000);
    FilePtr file = Open(dir.WriteFile(L"win.bin", data), 8);
    ASSERT_NE(nullptr, file);
    ASSERT_TRUE(file->Skip(9000));
    ASSERT_TRUE(file->SetWindow(30));
    EXPECT_EQ(30, file->GetSize());
    EXPECT_EQ(0, file->Tell());
    EXPECT_FALSE(file->Seek(-1, 1));  // loaded, but before the window
    char buf[64];
    EXPECT_EQ(30, file->Read(buf, 0, 64));
    EXPECT_EQ(data.substr(9000, 30), std::string(buf, 30));
    EXPECT_EQ(30, file->Tell());
    EXPECT_FALSE(file->Seek(31, 0));
    EXPECT_TRUE(file->Seek(-5, 2));
    EXPECT_EQ(25, file->Tell());
    EXPECT_TRUE(file->Seek(3, 0));
    EXPECT_EQ(data[9003], static_cast<char>(file->ReadUInt8(nullptr, 0)));
    EXPECT_FALSE(file->Seek(-10, 1));
}

TEST(FileHandleOnly, NoBufferButFileTimes) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"h.txt", "abc");
    FILETIME written = {0x12345600u, 0x01D00000u};
    {
        FilePtr file = Open(path, 0x05);
        ASSERT_NE(nullptr, file);
        EXPECT_FALSE(file->IsOpen());
        EXPECT_EQ(0, file->GetSize());
        EXPECT_EQ(0, file->Tell());
        EXPECT_FALSE(file->Seek(0, 0));
        EXPECT_EQ(-1, file->Read(nullptr, 1));
        EXPECT_TRUE(file->SetFileTime(nullptr, nullptr, &written));
    }
    FilePtr file = Open(path, 0x04);
    ASSERT_NE(nullptr, file);
    FILETIME seen = {};
    EXPECT_TRUE(file->GetFileTime(nullptr, nullptr, &seen));
    EXPECT_EQ(written.dwHighDateTime, seen.dwHighDateTime);
    EXPECT_EQ(written.dwLowDateTime, seen.dwLowDateTime);
    // Folders open too; missing paths do not.
    EXPECT_NE(nullptr, Open(dir.Path(), 0x04));
    EXPECT_EQ(nullptr, Open(dir.Join(L"none"), 0x04));
}
