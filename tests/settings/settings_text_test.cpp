#include "settings/settings_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "base/files.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Utf16(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

std::string WithMark(const std::wstring& text) { return "\xFF\xFE" + Utf16(text); }

// The store as text: "[section]" lines, each followed by "  key | value" lines
// in chain order.
std::wstring Render(VQSettingsText& store, bool dropLeadingValueBlanks = false) {
    std::wstring out;
    for (int i = 0; i < store.GetSectionCount(); ++i) {
        VQSettingsSection* section = store.GetSection(i);
        out += L"[" + std::wstring(section->name) + L"]\n";
        int steps = 0;
        for (int k = section->firstKey; k >= 0 && steps <= store.GetKeyCount(); ++steps) {
            VQSettingsKey* key = store.GetKey(k);
            if (!key) break;
            const wchar_t* value = key->value;
            while (dropLeadingValueBlanks && (*value == L' ' || *value == L'\t' || *value == L'\v')) ++value;
            out += L"  " + std::wstring(key->name) + L" | " + value + L"\n";
            k = key->nextKey;
        }
    }
    return out;
}

// Violations of the store's structural rules, empty when there are none.
std::string CheckInvariants(VQSettingsText& store) {
    std::string problems;
    auto fail = [&](const std::string& what) { problems += what + "; "; };
    int sections = store.GetSectionCount();
    int keys = store.GetKeyCount();
    if (sections < 1) return "no section 0";
    if (sections > store.GetSectionCapacity()) fail("section count over capacity");
    if (keys < 0 || keys > store.GetKeyCapacity()) fail("key count over capacity");
    if (store.GetSection(0)->name[0] != 0) fail("section 0 has a name");
    std::vector<int> seen(keys, 0);
    for (int i = 0; i < sections; ++i) {
        VQSettingsSection* section = store.GetSection(i);
        if (wcsnlen(section->name, 1028) > 1023) fail("section name too long or unterminated");
        if ((section->firstKey < 0) != (section->lastKey < 0)) fail("half-empty chain");
        int previous = -1;
        int index = section->firstKey;
        for (int steps = 0; index >= 0; ++steps) {
            if (index >= keys || steps > keys) {
                fail("chain leaves the key block");
                break;
            }
            VQSettingsKey* key = store.GetKey(index);
            if (key->previousKey != previous) fail("broken back link");
            if (++seen[index] > 1) fail("key reached twice");
            if (wcsnlen(key->name, 1028) > 1023 || wcsnlen(key->value, 1028) > 1024) {
                fail("key name or value too long or unterminated");
            }
            previous = index;
            index = key->nextKey;
        }
        if (previous != section->lastKey) fail("last key index does not end the chain");
    }
    for (int k = 0; k < keys; ++k) {
        if (seen[k] != 1) fail("key " + std::to_string(k) + " not in exactly one chain");
    }
    return problems;
}

class SettingsText : public ::testing::Test {
protected:
    bool Load(VQSettingsText& store, const std::string& bytes, const wchar_t* name = L"in.ini") {
        std::wstring path = dir.WriteFile(name, bytes);
        VQFile* file = NewFile(path.c_str(), kFileShareRead);
        if (!file) {
            ADD_FAILURE() << "cannot open the test file";
            return false;
        }
        return store.Load(file);
    }
    std::wstring LoadAndRender(const std::wstring& text) {
        VQSettingsText store;
        if (!Load(store, WithMark(text))) return L"(load failed)";
        return Render(store);
    }
    std::string SaveBytes(VQSettingsText& store) {
        if (!store.Save(dir.Join(L"out.ini").c_str())) return "(save failed)";
        return dir.ReadFile(L"out.ini");
    }
    // A store with content, to see that a failed load empties it.
    void Fill(VQSettingsText& store) {
        ASSERT_TRUE(Load(store, WithMark(L"a = 1\r\n[s]\r\nb = 2\r\n")));
        ASSERT_EQ(2, store.GetSectionCount());
    }
    void ExpectReset(VQSettingsText& store) {
        EXPECT_EQ(1, store.GetSectionCount());
        EXPECT_EQ(0, store.GetKeyCount());
        EXPECT_EQ(-1, store.GetSection(0)->firstKey);
        EXPECT_EQ(L"[]\n", Render(store));
    }

    TempDir dir;
};

TEST_F(SettingsText, LoadNeedsTheLittleEndianMark) {
    const std::string bad[] = {
        "\xFE\xFF" + Utf16(L"a = 1\r\n"),  // big-endian mark
        Utf16(L"a = 1\r\n"),               // no mark
        "",                                // empty file
        "\xFF",                            // too short for the mark
    };
    for (const std::string& bytes : bad) {
        VQSettingsText store;
        Fill(store);
        EXPECT_FALSE(Load(store, bytes)) << bytes.size();
        ExpectReset(store);
    }
    VQSettingsText store;
    EXPECT_FALSE(store.Load(nullptr));
    EXPECT_TRUE(Load(store, "\xFF\xFE"));
    ExpectReset(store);
}

TEST_F(SettingsText, LoadClosesTheFileWhetherItSucceedsOrNot) {
    for (const std::string& bytes : {WithMark(L"a = 1\r\n"), std::string("\xFE\xFF"), WithMark(L"[x")}) {
        VQSettingsText store;
        Load(store, bytes, L"closed.ini");
        // An open that shares nothing gets in only once the store's handle is closed.
        HANDLE alone = CreateFileW(dir.Join(L"closed.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, alone) << GetLastError();
        if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
        EXPECT_TRUE(DeleteFileW(dir.Join(L"closed.ini").c_str())) << GetLastError();
    }
}

TEST_F(SettingsText, BadHeadersFailTheWholeLoad) {
    const std::wstring longName(1024, L'n');
    const std::wstring bad[] = {
        L"a = 1\r\n[]\r\n",
        L"[" + longName + L"]\r\n",
        L"a = 1\r\n[open\r\nb = 2\r\n",
        L"[[block]\r\nx\r\n",
        L"[[]]\r\n",
        L"[ok]\r\n[[tail]",
    };
    for (const std::wstring& text : bad) {
        VQSettingsText store;
        Fill(store);
        EXPECT_FALSE(Load(store, WithMark(text))) << text.size();
        ExpectReset(store);
    }
    // 1023 units is still a name, and the search for "]" crosses line ends.
    EXPECT_EQ(L"[]\n[" + longName.substr(1) + L"]\n", LoadAndRender(L"[" + longName.substr(1) + L"]"));
    EXPECT_EQ(L"[]\n[a\r\nb]\n  k | v\n", LoadAndRender(L"[a\r\nb]\r\nk = v\r\n"));
}

TEST_F(SettingsText, SectionsMatchIgnoringCaseAndByPrefix) {
    EXPECT_EQ(L"[]\n[Quenbrix]\n  a | 1\n  b | 2\n",
              LoadAndRender(L"[Quenbrix]\r\na = 1\r\n[QUENBRIX]\r\nb = 2\r\n"));
    // A shorter header joins the earlier section it begins; the other way round gives two.
    EXPECT_EQ(L"[]\n[Quenbrix]\n  a | 1\n  b | 2\n", LoadAndRender(L"[Quenbrix]\r\na = 1\r\n[q]\r\nb = 2\r\n"));
    EXPECT_EQ(L"[]\n[q]\n  a | 1\n[Quenbrix]\n  b | 2\n", LoadAndRender(L"[q]\r\na = 1\r\n[Quenbrix]\r\nb = 2\r\n"));
    // Text after a header on its line is a line of its own.
    EXPECT_EQ(L"[]\n[s]\n  k | v\n", LoadAndRender(L"[s]k = v\r\n"));

    VQSettingsText store;
    ASSERT_TRUE(Load(store, WithMark(L"top = 0\r\n[Quenbrix]\r\n[Other]\r\n")));
    EXPECT_EQ(store.GetSection(1), store.FindSection(L"quen", false));
    EXPECT_EQ(store.GetSection(0), store.FindSection(L"", false));
    EXPECT_EQ(nullptr, store.FindSection(L"Quenbrix2", false));
    EXPECT_EQ(nullptr, store.FindSection(nullptr, true));
    EXPECT_EQ(nullptr, store.FindSection(std::wstring(1025, L'x').c_str(), true));
    EXPECT_EQ(3, store.GetSectionCount());
    VQSettingsSection* added = store.FindSection(std::wstring(1024, L'x').c_str(), true);
    ASSERT_NE(nullptr, added);
    EXPECT_EQ(store.GetSection(3), added);
    EXPECT_EQ(-1, added->firstKey);
    EXPECT_EQ(added, store.FindSection(L"X", true));
}

TEST_F(SettingsText, KeyLinesAreTrimmedButValuesKeepTrailingBlanks) {
    EXPECT_EQ(L"[]\n  key | value  \n", LoadAndRender(L"   key   =   value  \r\n"));
    EXPECT_EQ(L"[]\n  key | v \t\n", LoadAndRender(L"\tkey\t\v=\v\tv \t\n"));
    EXPECT_EQ(L"[]\n  bare | \n  empty | \n", LoadAndRender(L"bare\r\nempty =   \r\n"));
    // Lines that store nothing: an empty key, a key of 1024 units, a value of 1025.
    const std::wstring k1023(1023, L'k'), v1024(1024, L'v');
    EXPECT_EQ(L"[]\n  after | \n", LoadAndRender(L"= lost\r\n" + k1023 + L"k = x\r\ny = " + v1024 + L"v\r\nafter\r\n"));
    // A value as long as SetValue accepts (1024 units) reads back whole.
    EXPECT_EQ(L"[]\n  " + k1023 + L" | \n  y | " + v1024 + L"\n", LoadAndRender(k1023 + L"\r\ny = " + v1024 + L"\r\n"));
    // Form feed, LF and a lone CR each end a line.
    EXPECT_EQ(L"[]\n  a | 1\n  b | 2\n  c | 3\n", LoadAndRender(L"a = 1\fb = 2\rc = 3\n"));
}

TEST_F(SettingsText, LastLineWithoutLineEnd) {
    EXPECT_EQ(L"[]\n  k | v\n", LoadAndRender(L"k = v"));
    EXPECT_EQ(L"[]\n  k | v\n", LoadAndRender(L"k = v\r\nbare"));
    EXPECT_EQ(L"[]\n[b]\n  _CharBlock_ | raw\n", LoadAndRender(L"[[b]]\r\nraw"));
    // A trailing odd byte is no code unit.
    VQSettingsText store;
    ASSERT_TRUE(Load(store, WithMark(L"k = v") + "x"));
    EXPECT_EQ(L"[]\n  k | v\n", Render(store));
}

TEST_F(SettingsText, BareKeysAreWrittenAsTheBareName) {
    VQSettingsText store;
    ASSERT_TRUE(Load(store, WithMark(L"[s]\r\nbare\r\nk = \r\n")));
    EXPECT_EQ(WithMark(L"[s]\r\nbare\r\nk\r\n\r\n"), SaveBytes(store));
}

TEST_F(SettingsText, DuplicateKeysStayAndTheFirstOneIsUsed) {
    VQSettingsText store;
    ASSERT_TRUE(Load(store, WithMark(L"[s]\r\nk = 1\r\nK = 2\r\n")));
    EXPECT_EQ(L"[]\n[s]\n  k | 1\n  K | 2\n", Render(store));
    VQSettingsSection* section = store.FindSection(L"s", false);
    VQSettingsKey* first = store.FindKey(section, L"K");
    ASSERT_NE(nullptr, first);
    EXPECT_STREQ(L"1", first->value);
    EXPECT_TRUE(store.SetValue(section, L"K", L"3"));
    EXPECT_TRUE(store.SetValue(section, L"new", L"4"));
    EXPECT_EQ(L"[]\n[s]\n  k | 3\n  K | 2\n  new | 4\n", Render(store));
    EXPECT_EQ(nullptr, store.FindKey(section, L"ne"));
    EXPECT_EQ(nullptr, store.FindKey(nullptr, L"k"));
}

TEST_F(SettingsText, SetValueRefusesWithoutAddingAnything) {
    VQSettingsText store;
    VQSettingsSection* section = store.FindSection(L"s", true);
    ASSERT_NE(nullptr, section);
    EXPECT_FALSE(store.SetValue(nullptr, L"k", L"v"));
    EXPECT_FALSE(store.SetValue(section, std::wstring(1025, L'k').c_str(), L"v"));
    EXPECT_FALSE(store.SetValue(section, L"k", std::wstring(1025, L'v').c_str()));
    EXPECT_EQ(0, store.GetKeyCount());
    EXPECT_TRUE(store.SetValue(section, std::wstring(1024, L'k').c_str(), std::wstring(1024, L'v').c_str()));
    EXPECT_TRUE(store.SetValue(section, L"k", L"v"));
    EXPECT_TRUE(store.SetValue(section, L"k", nullptr));
    EXPECT_STREQ(L"", store.FindKey(section, L"k")->value);
    EXPECT_EQ(std::wstring(1024, L'v'), store.FindKey(section, std::wstring(1024, L'K').c_str())->value);
}

TEST_F(SettingsText, Comments) {
    EXPECT_EQ(L"[]\n  a // b | \n  ; x | y\n", LoadAndRender(L"  // c = d\r\n// [h]\r\na // b\r\n; x = y\r\n"));
    // A comment runs to its line end however long it is.
    EXPECT_EQ(L"[]\n  after | \n", LoadAndRender(L"//" + std::wstring(5000, L'c') + L" = v\r\nafter\r\n"));
    EXPECT_EQ(L"[]\n", LoadAndRender(L"// no line end"));
}

TEST_F(SettingsText, BlockSections) {
    EXPECT_EQ(L"[]\n[blk]\n  _CharBlock_ | first = line\n  _CharBlock_ |    // second\n  k | v\n[next]\n",
              LoadAndRender(L"[[blk]]\r\nfirst = line\r\n   // second\r\n\r\n  k = v\r\n[next]\r\n"));
    // Text after "]]" is a line of the block, so the block then needs two empty lines.
    EXPECT_EQ(L"[]\n[b]\n  _CharBlock_ | x\n  _CharBlock_ | [y]\n  _CharBlock_ | z\n  k | v\n",
              LoadAndRender(L"[[b]]x\n[y]\n\nz\r\rk = v\r\n"));
    // Lines of 1024 units or more are skipped; the block goes on.
    EXPECT_EQ(L"[]\n[b]\n  _CharBlock_ | " + std::wstring(1023, L'a') + L"\n  _CharBlock_ | c\n",
              LoadAndRender(L"[[b]]\r\n" + std::wstring(1023, L'a') + L"\r\n" + std::wstring(1024, L'b') +
                            L"\r\nc\r\n\r\n"));
    // A block does not survive a save as a block.
    VQSettingsText store;
    ASSERT_TRUE(Load(store, WithMark(L"[[b]]\r\n  raw\r\n\r\n")));
    EXPECT_EQ(WithMark(L"[b]\r\n_CharBlock_ =   raw\r\n\r\n"), SaveBytes(store));
}

TEST_F(SettingsText, SaveWritesTheExactForm) {
    VQSettingsText store;
    VQSettingsSection* section = store.FindSection(L"Quenbrix", true);
    ASSERT_TRUE(store.SetValue(section, L"FileExt", L"txt"));
    ASSERT_TRUE(store.SetValue(section, L"Command", L"echo $name  "));
    EXPECT_EQ(WithMark(L"[Quenbrix]\r\nFileExt = txt\r\nCommand = echo $name  \r\n\r\n"), SaveBytes(store));

    VQSettingsText mixed;
    ASSERT_TRUE(mixed.SetValue(mixed.FindSection(L"", false), L"top", L"1"));
    ASSERT_TRUE(mixed.SetValue(mixed.FindSection(L"", false), L"bare", L""));
    ASSERT_NE(nullptr, mixed.FindSection(L"Empty", true));
    ASSERT_TRUE(mixed.SetValue(mixed.FindSection(L"Full", true), L"k", L"v"));
    EXPECT_EQ(WithMark(L"top = 1\r\nbare\r\n\r\n[Empty]\r\n[Full]\r\nk = v\r\n\r\n"), SaveBytes(mixed));

    VQSettingsText empty;
    EXPECT_EQ(std::string("\xFF\xFE"), SaveBytes(empty));
}

TEST_F(SettingsText, LongFilesReadTheSameWhereverTheWindowFalls) {
    // Lines of every kind, repeated past several 4096-byte windows, behind
    // paddings that move them across the window's edges.
    std::wstring body;
    std::wstring expected = L"[]\n";
    for (int s = 0; s < 12; ++s) {
        std::wstring name = L"section" + std::to_wstring(s);
        if (s % 4 == 3) {
            body += L"[[" + name + L"]]\r\n";
            expected += L"[" + name + L"]\n";
            for (int k = 0; k < 20; ++k) {
                std::wstring line = L"  raw " + std::to_wstring(k) + std::wstring(k * 7, L'r');
                body += line + L"\r\n";
                expected += L"  _CharBlock_ | " + line + L"\n";
            }
            body += L"\r\n";
            continue;
        }
        body += L"[" + name + L"]\r\n// comment " + std::wstring(s * 30, L'c') + L"\r\n";
        expected += L"[" + name + L"]\n";
        for (int k = 0; k < 40; ++k) {
            std::wstring key = L"key" + std::to_wstring(k);
            std::wstring value = std::wstring(k * 13 % 300, L'v') + L"." + std::to_wstring(s);
            body += L"  " + key + L" = " + value + L"\r\n";
            expected += L"  " + key + L" | " + value + L"\n";
        }
    }
    for (int pad : {0, 1, 2, 3, 7, 100, 1000, 2045, 2046, 2047, 2048}) {
        std::wstring text = std::wstring(pad, L'\n') + body;
        ASSERT_GT(text.size() * 2, 8192u);
        EXPECT_EQ(expected, LoadAndRender(text)) << "padding " << pad;
    }
}

TEST_F(SettingsText, LinesLongerThanTheWindowAreSkippedWhole) {
    // 2048 units of "Note = x..." and more on the same line: nothing of the
    // line is read, not even what follows the window's end.
    VQSettingsText store;
    ASSERT_TRUE(Load(store, WithMark(L"Note = " + std::wstring(2041, L'x') + L"Command = injected\r\nnext = 1\r\n")));
    EXPECT_EQ(L"[]\n  next | 1\n", Render(store));
    EXPECT_EQ(1, store.GetDroppedLines());
    EXPECT_TRUE(store.WasKeyDropped(store.GetSection(0), L"NOTE"));
    EXPECT_FALSE(store.WasKeyDropped(store.GetSection(0), L"Command"));
    // A "[" at unit 2048 starts no header.
    EXPECT_EQ(L"[]\n[s]\n  b | 2\n", LoadAndRender(L"[s]\r\na = " + std::wstring(2044, L'x') + L"[x\r\nb = 2\r\n"));
    // A value that the window cuts short is not kept cut, and a last line
    // without a line end goes the same way.
    EXPECT_EQ(L"[]\n", LoadAndRender(L"k =" + std::wstring(1500, L' ') + std::wstring(600, L'v') + L"\r\n"));
    EXPECT_EQ(L"[]\n  a | 1\n", LoadAndRender(L"a = 1\r\nk = " + std::wstring(3000, L'v')));
    // A raw block line too: the block goes on after it.
    EXPECT_EQ(L"[]\n[b]\n  _CharBlock_ | z\n  w | \n",
              LoadAndRender(L"[[b]]\r\n" + std::wstring(5000, L'y') + L"\r\nz\r\n\r\nw\r\n"));
    // A CR LF split by the window's end is one line end, not an empty line.
    EXPECT_EQ(L"[]\n[b]\n  _CharBlock_ | z\n  w | \n",
              LoadAndRender(L"[[b]]\r\n" + std::wstring(2047, L'y') + L"\r\nz\r\n\r\nw\r\n"));
}

TEST_F(SettingsText, TheLoadTellsWhichLinesTheLimitsLeftOut) {
    const std::wstring k1024(1024, L'k'), v1025(1025, L'v'), raw1024(1024, L'r');
    VQSettingsText store;
    ASSERT_TRUE(Load(store, WithMark(L"[Quenbrix]\r\nCommand = " + v1025 + L"\r\n" + k1024 + L" = x\r\n" + k1024 +
                                     L"\r\nFileExt = jpg\r\n[[raw]]\r\n" + raw1024 + L"\r\nshort\r\n")));
    EXPECT_EQ(L"[]\n[Quenbrix]\n  FileExt | jpg\n[raw]\n  _CharBlock_ | short\n", Render(store));
    EXPECT_EQ(4, store.GetDroppedLines());
    EXPECT_FALSE(store.LoadedWhole());
    VQSettingsSection* section = store.FindSection(L"Quenbrix", false);
    EXPECT_TRUE(store.WasKeyDropped(section, L"command"));
    EXPECT_FALSE(store.WasKeyDropped(section, L"FileExt"));
    EXPECT_FALSE(store.WasKeyDropped(store.GetSection(0), L"Command")) << "another section";
    EXPECT_FALSE(store.WasKeyDropped(nullptr, L"Command"));

    // What the limits allow, comments of any length and lines without a key
    // leave nothing out; the next load starts the count over.
    ASSERT_TRUE(Load(store, WithMark(L"[Quenbrix]\r\nCommand = " + std::wstring(1024, L'v') + L"\r\n// " +
                                     std::wstring(5000, L'c') + L"\r\n= no key\r\n")));
    EXPECT_EQ(0, store.GetDroppedLines());
    EXPECT_TRUE(store.LoadedWhole());
    EXPECT_FALSE(store.WasKeyDropped(store.FindSection(L"Quenbrix", false), L"Command"));
}

TEST_F(SettingsText, GrowthAndReservation) {
    VQSettingsText store;
    EXPECT_EQ(1, store.GetSectionCount());
    EXPECT_EQ(4, store.GetSectionCapacity());
    EXPECT_EQ(0, store.GetKeyCapacity());
    for (int i = 1; i <= 4; ++i) ASSERT_NE(nullptr, store.FindSection((L"s" + std::to_wstring(i)).c_str(), true));
    EXPECT_EQ(8, store.GetSectionCapacity());
    VQSettingsSection* section = store.FindSection(L"s1", false);
    for (int i = 0; i < 17; ++i) ASSERT_TRUE(store.SetValue(section, (L"k" + std::to_wstring(i)).c_str(), L"v"));
    EXPECT_EQ(32, store.GetKeyCapacity());
    EXPECT_EQ("", CheckInvariants(store));

    // The room follows what the text holds, not the file's length: 12800
    // bytes with one line of text need one block of each.
    VQSettingsText fresh;
    std::string bytes = WithMark(L"k = v\r\n");
    bytes.resize(12800, ' ');
    ASSERT_TRUE(Load(fresh, bytes));
    EXPECT_EQ(4, fresh.GetSectionCapacity());
    EXPECT_EQ(16, fresh.GetKeyCapacity());
    // 17 headers and 34 lines with text: room for that many more at once.
    std::wstring many;
    for (int i = 0; i < 17; ++i) many += L"[s" + std::to_wstring(i) + L"]\r\n  k = v\r\n\r\n";
    ASSERT_TRUE(Load(fresh, WithMark(many)));
    EXPECT_EQ(4 + 17, fresh.GetSectionCapacity());
    EXPECT_EQ(16 + 34, fresh.GetKeyCapacity());
    // Loading again keeps the capacities: nothing is freed by a reset.
    ASSERT_TRUE(Load(fresh, WithMark(L"k = v\r\n")));
    EXPECT_EQ(21, fresh.GetSectionCapacity());
}

TEST_F(SettingsText, ReleaseAndReset) {
    VQSettingsText store;
    Fill(store);
    store.Reset();
    ExpectReset(store);
    EXPECT_EQ(nullptr, store.FindSection(L"s", false));
    store.Release();
    EXPECT_EQ(0, store.GetSectionCount());
    EXPECT_EQ(0, store.GetSectionCapacity());
    EXPECT_EQ(0, store.GetKeyCapacity());
    EXPECT_EQ(nullptr, store.FindSection(L"", false));
    // A released store can be used again: it starts over from section 0.
    ASSERT_TRUE(store.SetValue(store.FindSection(L"s", true), L"k", L"v"));
    EXPECT_EQ(L"[]\n[s]\n  k | v\n", Render(store));
    store.Release();
    ASSERT_TRUE(Load(store, WithMark(L"k = v\r\n")));
    EXPECT_EQ(L"[]\n  k | v\n", Render(store));
}

TEST_F(SettingsText, FilesPastTheLimitsAreRefusedAsTooLarge) {
    // The mark, then zeros (NUL units, one line with no end).
    auto sparse = [&](const wchar_t* name, int64_t length) { return dir.WriteSparseFile(name, "\xFF\xFE", length); };
    VQSettingsText store;
    Fill(store);
    int capacity = store.GetKeyCapacity();
    EXPECT_FALSE(store.Load(NewFile(sparse(L"terabyte.ini", 1ll << 40).c_str(), kFileShareRead)));
    EXPECT_EQ(kSettingsTooLarge, store.GetLoadStatus());
    ExpectReset(store);
    EXPECT_EQ(capacity, store.GetKeyCapacity()) << "nothing reserved for it";
    EXPECT_FALSE(store.Load(NewFile(sparse(L"over.ini", VQSettingsText::kMaxFileBytes + 1).c_str(), kFileShareRead)));
    EXPECT_EQ(kSettingsTooLarge, store.GetLoadStatus());
    EXPECT_TRUE(store.Load(NewFile(sparse(L"limit.ini", VQSettingsText::kMaxFileBytes).c_str(), kFileShareRead)));
    EXPECT_EQ(kSettingsLoaded, store.GetLoadStatus());
    EXPECT_EQ(1, store.GetDroppedLines());

    // Records past the load's limits (section 0 counts as one).
    store.SetLoadLimits(3, 4);
    EXPECT_TRUE(Load(store, WithMark(L"[a]\r\n[b]\r\n[A]\r\n1\r\n2\r\n3\r\n4\r\n")));
    EXPECT_FALSE(Load(store, WithMark(L"[a]\r\n[b]\r\n[c]\r\n")));
    EXPECT_EQ(kSettingsTooLarge, store.GetLoadStatus());
    EXPECT_FALSE(Load(store, WithMark(L"1\r\n2\r\n3\r\n4\r\n5\r\n")));
    EXPECT_EQ(kSettingsTooLarge, store.GetLoadStatus());
    ExpectReset(store);
    // Outside a load nothing is limited.
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(store.SetValue(store.GetSection(0), std::to_wstring(i).c_str(), L""));
}

// A file whose reading fails after its first bytes.
class FailingFile : public VQFile {
public:
    explicit FailingFile(const std::string& first) : first(first) {
        size = 100000;
        bufferSize = 8192;
        buffer = static_cast<char*>(GlobalAlloc(GPTR, bufferSize));
        cursor = buffer;
    }
    int Fill() override {
        if (served) return -1;
        served = true;
        memcpy(buffer, first.data(), first.size());
        cursor = buffer;
        bytesLeft = static_cast<int>(first.size());
        return 1;
    }

private:
    std::string first;
    bool served = false;
};

TEST_F(SettingsText, TheLoadTellsWhyItFailed) {
    VQSettingsText store;
    EXPECT_FALSE(store.Load(nullptr));
    EXPECT_EQ(kSettingsNoFile, store.GetLoadStatus());
    EXPECT_FALSE(Load(store, "\xFE\xFF" + Utf16(L"a = 1\r\n")));
    EXPECT_EQ(kSettingsNotText, store.GetLoadStatus());
    EXPECT_FALSE(Load(store, WithMark(L"a = 1\r\n[open\r\n")));
    EXPECT_EQ(kSettingsNotText, store.GetLoadStatus());
    EXPECT_FALSE(store.Load(new FailingFile(WithMark(L"a = 1\r\n"))));
    EXPECT_EQ(kSettingsReadError, store.GetLoadStatus());
    ExpectReset(store);
    EXPECT_FALSE(store.Load(new FailingFile("[Quenbrix]\r\nCommand = \xE5\x86\x99\r\n")));
    EXPECT_EQ(kSettingsReadError, store.GetLoadStatus());
    EXPECT_FALSE(store.LoadedWhole());
}

TEST_F(SettingsText, Utf8FilesReadAsTheirUtf16Form) {
    const std::wstring text = L"top = 1\r\n[Quenbrix]\r\nCommand = copy \"$fullname\" D:\\写真\r\n// 注\r\n"
                              L"Note = " + std::wstring(3000, L'長') + L"\r\n[[raw]]\r\n  生\r\n\r\nk = v";
    VQSettingsText utf16;
    ASSERT_TRUE(Load(utf16, WithMark(text)));
    int units = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), units, &utf8[0], bytes, nullptr, nullptr);
    for (const std::string& form : {"\xEF\xBB\xBF" + utf8, utf8}) {
        VQSettingsText store;
        ASSERT_TRUE(Load(store, form)) << form.size();
        EXPECT_EQ(Render(utf16), Render(store));
        EXPECT_EQ(1, store.GetDroppedLines());
        EXPECT_TRUE(store.WasKeyDropped(store.FindSection(L"Quenbrix", false), L"Note"));
        // Saving writes UTF-16 with its mark, as always.
        EXPECT_EQ(SaveBytes(utf16), SaveBytes(store));
    }
    VQSettingsText store;
    EXPECT_TRUE(Load(store, "\xEF\xBB\xBF"));
    EXPECT_EQ(L"[]\n", Render(store));
    // Plain ASCII is UTF-8 too, as a text editor saves it.
    ASSERT_TRUE(Load(store, "[Quenbrix]\nCommand = cmd /c copy \"$fullname\" x\n"));
    EXPECT_EQ(L"[]\n[Quenbrix]\n  Command | cmd /c copy \"$fullname\" x\n", Render(store));
    // Shift-JIS is no UTF-8, and UTF-16 without its mark (NUL bytes) is no text.
    for (const std::string& other : {std::string("[Quenbrix]\r\nCommand = \x8E\xCA\x90\x5E\r\n"),
                                     Utf16(L"[Quenbrix]\r\nCommand = x\r\n")}) {
        EXPECT_FALSE(Load(store, other));
        EXPECT_EQ(kSettingsNotText, store.GetLoadStatus());
    }
}

TEST_F(SettingsText, SaveFailsWhenTheDeviceRefusesTheBytes) {
    // Wine maps drive Z: to the root of the host, where /dev/full takes a
    // file's creation but answers every write with "no space left".
    const wchar_t* full = L"Z:\\dev\\full";
    VQFile* probe = NewFile(full, kFileWrite);
    if (!probe) GTEST_SKIP() << "no device that refuses writes here";
    delete probe;

    VQSettingsText small;
    ASSERT_TRUE(small.SetValue(small.FindSection(L"s", true), L"k", L"v"));
    EXPECT_FALSE(small.Save(full));  // fails at the flush of the close

    VQSettingsText large;  // fails at a write, once the buffer is full
    VQSettingsSection* section = large.FindSection(L"s", true);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(large.SetValue(section, (L"k" + std::to_wstring(i)).c_str(), std::wstring(500, L'v').c_str()));
    }
    EXPECT_FALSE(large.Save(full));
    EXPECT_TRUE(large.Save(dir.Join(L"fine.ini").c_str()));
    EXPECT_FALSE(large.Save(dir.Join(L"no\\such\\folder.ini").c_str()));
}

// Random and damaged files: every load ends, leaves a well-formed store, and
// a store that loaded reads back the same after a save (leading blanks of
// values aside), where the text form can carry it.
class RandomFiles {
public:
    explicit RandomFiles(uint32_t seed) : rng(seed) {}

    std::string Next() {
        std::wstring text;
        int pieces = Pick(0, 40);
        for (int i = 0; i < pieces; ++i) AppendPiece(text);
        std::string bytes = Utf16(text);
        int mark = Pick(0, 19);
        if (mark == 0) {
            bytes = "\xFE\xFF" + bytes;
        } else if (mark == 1) {
            bytes = "\xFF" + bytes;
        } else if (mark != 2) {
            bytes = "\xFF\xFE" + bytes;
        }
        int damage = Pick(0, 9);
        if (damage == 0 && !bytes.empty()) bytes.resize(Pick(0, static_cast<int>(bytes.size())));
        if (damage == 1) {
            for (int flips = Pick(1, 8); flips > 0 && !bytes.empty(); --flips) {
                bytes[Pick(0, static_cast<int>(bytes.size()) - 1)] = static_cast<char>(Pick(0, 255));
            }
        }
        if (damage == 2) bytes.insert(Pick(0, static_cast<int>(bytes.size())), 1, static_cast<char>(Pick(0, 255)));
        return bytes;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
    wchar_t Unit() {
        static const wchar_t odd[] = {0,      0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFE, 0xFEFF, 0x3042, L'[',
                                      L']',   L'=',   L'/',   L' ',   L'\t',  L'\v',  L'\r',  L'\n', L'\f'};
        if (Pick(0, 2) == 0) return odd[Pick(0, sizeof odd / sizeof odd[0] - 1)];
        return static_cast<wchar_t>(Pick(0, 3) ? Pick(L'a', L'e') : Pick(0, 0xFFFF));
    }
    std::wstring Units(int low, int high) {
        std::wstring s;
        for (int n = Pick(low, high); n > 0; --n) s += Unit();
        return s;
    }
    std::wstring Name() {
        static const wchar_t* names[] = {L"a", L"A", L"ab", L"AbC", L"b", L"Quenbrix", L"q", L"_CharBlock_"};
        return Pick(0, 3) ? names[Pick(0, 7)] : Units(0, 6);
    }
    std::wstring Blanks() {
        static const wchar_t* blanks[] = {L" ", L"\t", L"\v", L"\r\n", L"\n", L"\r", L"\f", L"\r\n\r\n"};
        std::wstring s;
        for (int n = Pick(0, 3); n > 0; --n) s += blanks[Pick(0, 7)];
        return s;
    }
    void AppendPiece(std::wstring& text) {
        switch (Pick(0, 9)) {
        case 0: text += L"[" + Name() + L"]"; break;
        case 1: text += L"[[" + Name() + L"]]"; break;
        case 2: text += L"//" + Units(0, 10); break;
        case 3: text += Units(0, 12); break;
        case 4: text += std::wstring(Pick(1000, 5000), Pick(0, 1) ? L'x' + 0 : Unit()); break;
        case 5: text += Blanks(); break;
        default: text += Blanks() + Name() + Blanks() + (Pick(0, 3) ? L"=" : L"") + Units(0, 8); break;
        }
        if (Pick(0, 2)) text += Pick(0, 3) ? L"\r\n" : L"\r";
    }

    std::mt19937 rng;
};

// Whether Save writes what was loaded from `bytes` in a form that Load reads
// back as it is.
bool SurvivesSave(VQSettingsText& store, const std::string& bytes) {
    // A NUL unit inside a name or value ends it early in the record.
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) return false;
    }
    for (int i = 0; i < store.GetSectionCount(); ++i) {
        if (store.GetSection(i)->name[0] == L'[') return false;  // would read as a block header
    }
    for (int k = 0; k < store.GetKeyCount(); ++k) {
        const VQSettingsKey* key = store.GetKey(k);
        // Key, " = " and value must end within one window.
        if (wcslen(key->name) + 3 + wcslen(key->value) >= 2048) return false;
    }
    return true;
}

TEST_F(SettingsText, RandomAndDamagedFilesKeepTheStoreWellFormed) {
    const uint32_t seed = 20240611;
    RandomFiles files(seed);
    VQSettingsText* store = new VQSettingsText;
    int loaded = 0, compared = 0;
    // A fixed number of files, not a time budget: on a loaded machine a budget
    // ran too few files for the counts below, and the outcome must not hang on speed.
    for (int i = 0; i < 1000; ++i) {
        if (i % 64 == 0) {
            delete store;
            store = new VQSettingsText;
        }
        std::string bytes = files.Next();
        bool ok = Load(*store, bytes);
        std::string problems = CheckInvariants(*store);
        ASSERT_EQ("", problems) << "seed " << seed << " file " << i;
        if (!ok) {
            ASSERT_EQ(1, store->GetSectionCount()) << "file " << i;
            ASSERT_EQ(0, store->GetKeyCount()) << "file " << i;
            continue;
        }
        ++loaded;
        if (!SurvivesSave(*store, bytes)) continue;
        ++compared;
        ASSERT_TRUE(store->Save(dir.Join(L"round.ini").c_str()));
        VQSettingsText again;
        ASSERT_TRUE(again.Load(NewFile(dir.Join(L"round.ini").c_str(), kFileShareRead))) << "file " << i;
        ASSERT_EQ(Render(*store, true), Render(again, true)) << "file " << i;
    }
    delete store;
    // The generator must reach both outcomes often enough to mean something.
    EXPECT_GT(loaded, 500);
    EXPECT_GT(compared, 200);
}

}  // namespace
