#include "base/vm_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/vm_string_support.h"

namespace {

// Hands out blocks from the global heap and keeps a record of them.
class CountingAllocator : public VQAllocator {
public:
    ~CountingAllocator() {
        for (auto& block : live) delete[] static_cast<char*>(block.first);
    }
    void* Allocate(int bytes) override {
        char* block = new char[bytes];
        live[block] = bytes;
        sizes.push_back(bytes);
        return block;
    }
    void Free(void* block) override {
        live.erase(block);
        delete[] static_cast<char*>(block);
        ++frees;
    }
    int GetBlockSize(void* block) override {
        auto it = live.find(block);
        return it == live.end() ? -1 : it->second;
    }

    std::map<void*, int> live;
    std::vector<int> sizes;
    int frees = 0;
};

// Counts its own destruction.
class ProbeString : public VMString {
public:
    explicit ProbeString(int* destroyed) : VMString("probe"), destroyed(destroyed) {}
    ~ProbeString() override { ++*destroyed; }

private:
    int* destroyed;
};

}  // namespace

TEST(VMValue, TypeTags) {
    VMString s;
    VMBase plain;
    EXPECT_TRUE(s.IsType(0xCA007951u));
    EXPECT_EQ(0xCA007951u, s.GetTypeTag());
    EXPECT_FALSE(s.IsType(0));
    EXPECT_FALSE(plain.IsType(0xCA007951u));
    EXPECT_EQ(0u, plain.GetTypeTag());
    EXPECT_EQ(-1, plain.Compare(nullptr));
    EXPECT_EQ(0, plain.Compare(&s));
    EXPECT_FALSE(s.Assign(&plain)) << "only a string can be shared";
}

TEST(VMValue, ReleaseAndAddRef) {
    int destroyed = 0;
    ProbeString* fresh = new ProbeString(&destroyed);
    fresh->Release();
    EXPECT_EQ(1, destroyed);

    ProbeString* kept = new ProbeString(&destroyed);
    kept->AddRef();
    kept->Release();
    EXPECT_EQ(1, destroyed) << "one reference is left";
    EXPECT_EQ(1, kept->GetRefCount());
    kept->ReleaseIfZero();
    EXPECT_EQ(1, destroyed);

    // The last release lets go of the shared buffer too.
    VMString owner("shared");
    kept->Assign(&owner);
    EXPECT_EQ(2, owner.GetBuffer()->refCount);
    kept->Release();
    EXPECT_EQ(2, destroyed);
    EXPECT_EQ(1, owner.GetBuffer()->refCount);
}

TEST(VMValue, TakeAssignsAndReleasesTheOther) {
    int destroyed = 0;
    VMString* target = new VMString("old");
    ProbeString* source = new ProbeString(&destroyed);
    EXPECT_TRUE(target->Take(source));
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ("probe", Bytes(target));
    EXPECT_EQ(1, target->GetBuffer()->refCount);
    target->Release();
}

TEST(VMString, CompareThroughTheBase) {
    VMString a("abc");
    VMString b("abc");
    VMBase other;
    EXPECT_EQ(0, a.Compare(static_cast<VMBase*>(&b)));
    EXPECT_EQ(1, a.Compare(static_cast<VMBase*>(&other))) << "a non-string compares as null";
    VMString none;
    EXPECT_EQ(0, none.Compare(static_cast<VMBase*>(&other)));
}

TEST(VMString, ClonesAndViewsShareTheBuffer) {
    VMString s("hello world");
    VMPtr clone(s.Clone());
    VMPtr view(s.MidView(6, 5));
    EXPECT_EQ(s.GetBuffer(), clone->GetBuffer());
    EXPECT_EQ(s.GetBuffer(), view->GetBuffer());
    EXPECT_EQ(3, s.GetBuffer()->refCount);
    EXPECT_EQ("world", Bytes(view));
    EXPECT_EQ(6, view->GetOffset());

    view->SetAt(0, 'W');
    EXPECT_EQ("World", Bytes(view));
    EXPECT_EQ("hello world", Bytes(&s)) << "a change copies first";
    EXPECT_NE(s.GetBuffer(), view->GetBuffer());
    EXPECT_EQ(0, view->GetOffset());

    // A sole owner changes in place.
    VQStringBuffer* before = clone->GetBuffer();
    clone->Release();
    clone.release();
    EXPECT_TRUE(s.IsUnique());
    s.SetAt(0, 'H');
    EXPECT_EQ(before, s.GetBuffer());
    EXPECT_EQ("Hello world", Bytes(&s));
}

TEST(VMString, GetTextTerminatesAView) {
    VMString s("abcdef");
    VMPtr tail(s.MidView(3));
    VMPtr head(s.LeftView(3));
    EXPECT_STREQ("def", tail->GetText());
    EXPECT_EQ(s.GetBuffer(), tail->GetBuffer()) << "a view at the end is already terminated";
    EXPECT_STREQ("abc", head->GetText());
    EXPECT_NE(s.GetBuffer(), head->GetBuffer());
    VMString none;
    EXPECT_STREQ("", none.GetText());
    EXPECT_FALSE(none.IsNull());
}

TEST(VMString, BorrowedMemoryIsNeverWrittenOrFreed) {
    char memory[] = "borrowed!";
    VMString s;
    s.AssignBytes(memory, 8, -static_cast<int>(sizeof memory));
    EXPECT_EQ(memory, s.GetData());
    EXPECT_FALSE(s.IsUnique());
    EXPECT_EQ("borrowed", Bytes(&s));
    EXPECT_STREQ("borrowed", s.GetText()) << "terminated in a copy";
    EXPECT_NE(memory, s.GetData());

    VMString t;
    t.AssignBytes(memory, 8, -1);
    t.ToUpper();
    EXPECT_EQ("BORROWED", Bytes(&t));
    EXPECT_STREQ("borrowed!", memory);
    t.Clear();
    EXPECT_TRUE(t.IsNull());
    EXPECT_STREQ("borrowed!", memory);

    t.AssignBytes(nullptr, 5, -1);
    EXPECT_TRUE(t.IsNull());
    EXPECT_EQ(0, t.GetLength()) << "no memory, no view";
    t.Append("ok");
    EXPECT_EQ("ok", Bytes(&t));
}

TEST(VMString, AllocatorHook) {
    CountingAllocator heap;
    {
        VMString s("text", &heap);
        ASSERT_EQ(1u, heap.live.size());
        EXPECT_TRUE(s.UsesAllocator(&heap));
        EXPECT_TRUE(s.UsesAllocator(nullptr));
        EXPECT_EQ(&heap, s.GetAllocator());
        EXPECT_EQ(16, s.GetBlockSize());
        s.Append(" and more text to grow it");
        EXPECT_EQ(1u, heap.live.size()) << "growth stays with the allocator";
        EXPECT_EQ(32, s.GetBlockSize());

        VMString plain("x");
        EXPECT_FALSE(plain.UsesAllocator(nullptr));
        EXPECT_EQ(0, plain.GetBlockSize());
        plain.SetAllocator(&heap);
        EXPECT_EQ(2u, heap.live.size());
        EXPECT_EQ("x", Bytes(&plain));

        VMString empty;
        empty.Assign(nullptr, &heap);
        EXPECT_EQ(3u, heap.live.size()) << "a null text with an allocator is an empty buffer";
        EXPECT_FALSE(empty.IsNull());
    }
    EXPECT_TRUE(heap.live.empty());
    EXPECT_EQ((std::vector<int>{16, 32, 16, 16}), heap.sizes);
    EXPECT_EQ(4, heap.frees);
}

TEST(VMString, ResetAndSetLength) {
    VMString s("abcdef");
    VQStringBuffer* before = s.GetBuffer();
    s.Reset(4);
    EXPECT_EQ(before, s.GetBuffer()) << "a private buffer is reused";
    EXPECT_EQ(std::string(4, '\0'), Bytes(&s));

    VMString t("abcdef");
    VMPtr view(t.Clone());
    view->SetLength(3, 0, true);
    EXPECT_EQ(t.GetBuffer(), view->GetBuffer()) << "a shared buffer is only cut";
    EXPECT_EQ("abc", Bytes(view));
    view->SetLength(40);
    EXPECT_NE(t.GetBuffer(), view->GetBuffer());
    EXPECT_EQ(64, view->GetBuffer()->capacity);
    EXPECT_EQ("abc", Bytes(view).substr(0, 3));
    EXPECT_EQ(0, view->GetData()[40]);
    EXPECT_EQ(0, view->GetData()[41]);
}

TEST(VMString, AttachTakesTheBlock) {
    char* block = new char[32];
    memcpy(block, "xxhello", 7);
    VMString s;
    s.Attach(block, 2, 5, 32);
    EXPECT_EQ("hello", Bytes(&s));
    EXPECT_EQ(block + 2, s.GetData());
    EXPECT_STREQ("hello", s.GetText()) << "terminated inside the block";
    EXPECT_EQ(block + 2, s.GetData());
}

TEST(VMString, CopyToKeepsDoubleByteCharactersWhole) {
    char out[8];
    VMString kana("\x82\xa0\x82\xa2");
    memset(out, 'z', sizeof out);
    EXPECT_EQ(0, kana.CopyTo(out, 2));
    EXPECT_EQ(0, out[0]);
    EXPECT_EQ(2, kana.CopyTo(out, 4));
    EXPECT_STREQ("\x82\xa0", out);
    EXPECT_EQ(4, kana.CopyTo(out, 5));
    EXPECT_STREQ("\x82\xa0\x82\xa2", out);
    VMString ascii("abcdef");
    EXPECT_EQ(3, ascii.CopyTo(out, 4));
    EXPECT_STREQ("abc", out);
    EXPECT_EQ(0, ascii.CopyTo(nullptr, 4));
}

TEST(VMString, Appending) {
    VMString s;
    VMString other("shared");
    s.Append(&other);
    EXPECT_EQ(other.GetBuffer(), s.GetBuffer()) << "a null string shares instead of copying";
    s.Append(&other);
    EXPECT_EQ("sharedshared", Bytes(&s));
    EXPECT_EQ("shared", Bytes(&other));
    s.Append(&s, 0, 3);
    EXPECT_EQ("sharedsharedsha", Bytes(&s));
    s.AppendFill('-', 2);
    s.AppendBytes("xyz", 1, 2);
    s.Append("!");
    EXPECT_EQ("sharedsharedsha--yz!", Bytes(&s));

    VMString number;
    number.AppendInt32(0x04030201);
    EXPECT_EQ(std::string("\x01\x02\x03\x04", 4), Bytes(&number));
}

TEST(VMString, AppendIndentedSkipsEmptyLines) {
    VMString s("{\n");
    s.AppendIndented(2, "a\n\nb\r\n\r\nc\n");
    EXPECT_EQ("{\n\t\ta\n\n\t\tb\r\n\r\n\t\tc\n", Bytes(&s));
    VMString t;
    VMString body("x\ny");
    t.AppendIndented(1, &body);
    EXPECT_EQ("\tx\n\ty", Bytes(&t));
    t.AppendIndented(1, t.GetData(), 1);
    EXPECT_EQ("\tx\n\ty\t\t", Bytes(&t)) << "its own bytes as the source";
}

TEST(VMString, AssignWithByteAndConcat) {
    VMString s("abc");
    s.AssignWithByte(&s, '!');
    EXPECT_EQ("abc!", Bytes(&s));
    s.AssignWithByte("xy", 1, '.');
    EXPECT_EQ("x.", Bytes(&s));

    VMString a("left");
    VMString b("right");
    s.AssignConcat(&a, &b);
    EXPECT_EQ("leftright", Bytes(&s));
    s.AssignConcat(&s, "+", 1);
    EXPECT_EQ("leftright+", Bytes(&s));
    s.AssignConcat("12345", 2, &b);
    EXPECT_EQ("12right", Bytes(&s));

    VMString none;
    s.AssignConcat(&none, &b);
    EXPECT_EQ(b.GetBuffer(), s.GetBuffer()) << "a missing side assigns the other";
    s.AssignConcat(static_cast<const char*>(nullptr), "only");
    EXPECT_EQ("only", Bytes(&s));
    s.AssignConcat(static_cast<const char*>(nullptr), static_cast<const char*>(nullptr));
    EXPECT_TRUE(s.IsNull());
}

TEST(VMString, InsertAndDelete) {
    VMString s("abc");
    s.InsertFill(5, '*', 2);
    EXPECT_EQ(std::string("abc\0\0**", 7), Bytes(&s)) << "a gap is zero-filled";
    s.Delete(3, 100);
    EXPECT_EQ("abc", Bytes(&s));
    VMString middle("XY");
    s.Insert(1, &middle);
    EXPECT_EQ("aXYbc", Bytes(&s));
    s.Insert(0, &s);
    EXPECT_EQ("aXYbcaXYbc", Bytes(&s));
    s.Delete(-1, 2);
    s.Delete(2, 0);
    EXPECT_EQ("aXYbcaXYbc", Bytes(&s));
    s.Delete(1, 2);
    EXPECT_EQ("abcaXYbc", Bytes(&s));
}

TEST(VMString, ReplacementsStepOverDoubleByteCharacters) {
    // 0x83 0x5C is one character whose second byte is a backslash.
    VMString path("a\\\x83\x5c\\b");
    EXPECT_EQ(2, path.ReplaceChars("\\", '/'));
    EXPECT_EQ("a/\x83\x5c/b", Bytes(&path));

    VMString s("banana");
    VMString twice("aa");
    EXPECT_EQ(3, s.ReplaceCharsWith("a", &twice)) << "the scan goes on after the inserted text";
    EXPECT_EQ("baanaanaa", Bytes(&s));
    VMString empty("");
    EXPECT_EQ(0, s.ReplaceCharsWith("a", &empty));
    EXPECT_EQ("baanaanaa", Bytes(&s));

    VMString mixed("ab\x82\x61Z");  // the second byte is 'a'
    mixed.ToUpper();
    EXPECT_EQ("AB\x82\x61Z", Bytes(&mixed));
    mixed.ToLower();
    EXPECT_EQ("ab\x82\x61z", Bytes(&mixed));
}

TEST(VMString, ChangesCopyOnlyWhenSomethingChanges) {
    VMString s("plain text");
    VMPtr copy(s.Clone());
    s.ToUpper();
    EXPECT_NE(copy->GetBuffer(), s.GetBuffer());
    VMPtr again(s.Clone());
    s.Unescape();
    s.ReplaceChars("#", '-');
    s.ToUpper();
    EXPECT_EQ(again->GetBuffer(), s.GetBuffer()) << "nothing to change, nothing copied";
}

TEST(VMString, FormatRetriesWithTheSameEstimate) {
    CountingAllocator heap;
    VMString s(nullptr, &heap);
    heap.sizes.clear();
    std::string arg(2000, 'x');
    ASSERT_TRUE(s.Format("%s", arg.c_str()));
    EXPECT_EQ(arg, Bytes(&s));
    // "%s": 8 + 8 bytes of estimate over the format's 2 bytes, then each
    // retry asks the capacity rule for 16 bytes more than the last block.
    std::vector<int> expected = {32, 64, 128, 256, 512, 1024, 1056};
    for (int c = 1088; c <= 2016; c += 32) expected.push_back(c);
    EXPECT_EQ(expected, heap.sizes);
    EXPECT_EQ(2016, s.GetBlockSize());
    EXPECT_EQ(2016, s.GetBuffer()->capacity);

    VMString t;
    ASSERT_TRUE(t.Format("%d%% of %s", 50, "\x82\xa0"));
    EXPECT_STREQ("50% of \x82\xa0", t.GetText());
    EXPECT_FALSE(t.Format("%5"));
    EXPECT_TRUE(t.IsNull()) << "a malformed format leaves the string empty";
}

TEST(VMString, UnescapeTable) {
    VMString s("\\\"\\'\\0\\\\\\b\\f\\n\\r\\t\\v");
    s.Unescape();
    EXPECT_EQ(std::string("\"'\0\\\b\f\n\r\t\v", 10), Bytes(&s));

    VMString tab("a\\tb");
    tab.Unescape();
    EXPECT_EQ("a\tb", Bytes(&tab));
    VMString unknown("a\\qb\\");
    unknown.Unescape();
    EXPECT_EQ("a\\qb\\", Bytes(&unknown)) << "unknown escapes and a final backslash stay";
    VMString doubled("\\\\n");
    doubled.Unescape();
    EXPECT_EQ("\\n", Bytes(&doubled)) << "the scan goes on after the replaced byte";
    VMString kana("\x83\x5cn\\n");
    kana.Unescape();
    EXPECT_EQ("\x83\x5cn\n", Bytes(&kana)) << "a second byte is no backslash";
}

TEST(VMString, UnescapeQuotesOnly) {
    VMString s("say \\\"hi\\\" and \\'bye\\' \\n\\\\");
    s.UnescapeQuotes();
    EXPECT_EQ("say \"hi\" and 'bye' \\n\\\\", Bytes(&s));
}
