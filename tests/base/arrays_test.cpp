#include "base/arrays.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

namespace {

std::vector<std::wstring>* g_destroyed;
void RecordDestroyed(VQWString s) { g_destroyed->push_back(s.Text()); }

int MatchNoCase(VQWString key, VQWString element, void* calls) {
    ++*static_cast<int*>(calls);
    return VQWString::CompareNoCase(key.GetData(), key.GetLength(), element.GetData(), element.GetLength(),
                                    key.GetLength()) == 0
               ? 1
               : 0;
}

int StopAtSecond(VQWString, VQWString element, void*) { return element.Equals(L"b") ? -1 : 0; }

struct Probe {
    int id;
    static int live;
    Probe() : id(0) { ++live; }
    Probe(const Probe& o) : id(o.id) { ++live; }
    Probe& operator=(const Probe&) = default;
    ~Probe() { --live; }
    bool operator==(const Probe& o) const { return id == o.id; }
};
int Probe::live = 0;

}  // namespace

TEST(Array, GrowthFollowsTheEighthRule) {
    VQArray<int, int> a;
    EXPECT_EQ(0, a.GetCapacity());
    std::vector<int> capacities;
    for (int i = 1; i <= 13; ++i) {
        a.Add(i);
        capacities.push_back(a.GetCapacity());
    }
    EXPECT_EQ(1, capacities[0]);
    EXPECT_EQ(5, capacities[1]);
    EXPECT_EQ(5, capacities[4]);
    EXPECT_EQ(9, capacities[5]);
    EXPECT_EQ(13, capacities[9]);

    VQArray<int, int> big;
    big.SetSize(80);
    big.Add(1);
    EXPECT_EQ(90, big.GetCapacity()) << "at count 80 the step is 10";
    VQArray<int, int> huge;
    huge.SetSize(8192);
    huge.Add(1);
    EXPECT_EQ(8192 + 1024, huge.GetCapacity());
    VQArray<int, int> larger;
    larger.SetSize(20000);
    larger.Add(1);
    EXPECT_EQ(20000 + 2500, larger.GetCapacity()) << "the step keeps growing with the count";
}

// Counts the element copies that growth makes.
struct CountingArray : VQArray<int, int> {
    long long copies = 0;
    int blocks = 0;
    void CopyElements(int* dst, const int* src, int n) override {
        copies += n;
        VQArray<int, int>::CopyElements(dst, src, n);
    }
    void* AllocateBlock(int bytes) override {
        ++blocks;
        return VQArray<int, int>::AllocateBlock(bytes);
    }
};

TEST(Array, FillingAMillionCopiesEachElementAFewTimesOnly) {
    CountingArray a;
    const int n = 1000000;
    for (int i = 0; i < n; ++i) ASSERT_TRUE(a.Add(i));
    EXPECT_EQ(n, a.GetCount());
    EXPECT_EQ(n - 1, a[n - 1]);
    // A growth of an eighth copies each element about eight times over the
    // whole fill; a fixed step of 1,024 copied the array a thousand times.
    EXPECT_LT(a.copies, 10LL * n);
    EXPECT_LT(a.blocks, 200);
}

TEST(Array, NegativeSetSizeReservesAndEmpties) {
    VQArray<int, int> a;
    a.Add(1);
    a.Add(2);
    a.Add(3);
    EXPECT_TRUE(a.SetSize(-10));
    EXPECT_EQ(0, a.GetCount());
    EXPECT_GE(a.GetCapacity(), 10);
    int capacity = a.GetCapacity();
    for (int i = 0; i < 10; ++i) a.Add(i);
    EXPECT_EQ(capacity, a.GetCapacity()) << "the reservation is used";
}

TEST(Array, FindAndAddUniqueOnStrings) {
    VQWStringArray a;
    EXPECT_EQ(-1, a.Find(VQWString(L"x")));
    EXPECT_EQ(0, a.AddUnique(VQWString(L"Readme.txt")));
    EXPECT_EQ(0, a.AddUnique(VQWString(L"Readme.txt")));
    EXPECT_EQ(1, a.GetCount());
    EXPECT_EQ(1, a.AddUnique(VQWString(L"README.TXT"))) << "case matters by default";
    int calls = 0;
    EXPECT_EQ(0, a.Find(VQWString(L"readme.TXT"), MatchNoCase, &calls));
    EXPECT_EQ(1, calls);
    a.Add(VQWString(L"b"));
    a.Add(VQWString(L"c"));
    EXPECT_EQ(-1, a.Find(VQWString(L"c"), StopAtSecond, nullptr)) << "a negative answer ends the search";
}

TEST(Array, RemoveAtClosesTheGap) {
    VQWStringArray a;
    for (const wchar_t* s : {L"a", L"b", L"c", L"d"}) a.Add(VQWString(s));
    a.RemoveAt(1);
    ASSERT_EQ(3, a.GetCount());
    EXPECT_STREQ(L"a", a[0].Text());
    EXPECT_STREQ(L"c", a[1].Text());
    EXPECT_STREQ(L"d", a[2].Text());
    a.RemoveAt(-1);
    ASSERT_EQ(2, a.GetCount());
    EXPECT_STREQ(L"c", a[1].Text());
    a.RemoveAt(2);
    EXPECT_EQ(2, a.GetCount());
}

TEST(Array, StringElementsShareAndOutliveTheArray) {
    VQWString kept;
    {
        VQWStringArray a;
        a.Add(VQWString(L"survivor"));
        kept = a[0];
        a.Add(VQWString(L"x"));  // grows and copies the block
    }
    EXPECT_STREQ(L"survivor", kept.Text());
}

TEST(Array, DestroyCallbackSeesEachDroppedElement) {
    std::vector<std::wstring> destroyed;
    g_destroyed = &destroyed;
    VQWStringArray a;
    for (const wchar_t* s : {L"a", L"b", L"c"}) a.Add(VQWString(s));
    a.SetSize(1, RecordDestroyed);
    ASSERT_EQ(2u, destroyed.size());
    EXPECT_EQ(L"b", destroyed[0]);
    EXPECT_EQ(L"c", destroyed[1]);
    g_destroyed = nullptr;
}

TEST(Array, PointerArraysNeverDeleteTheirObjects) {
    int objects[3] = {1, 2, 3};
    {
        VQArray<int*, int*> a;
        for (int& o : objects) a.Add(&o);
        a.RemoveAt(0);
        EXPECT_EQ(&objects[1], a[0]);
        EXPECT_EQ(1, a.Find(&objects[2]));
    }
    EXPECT_EQ(1, objects[0]);
    HWND h = reinterpret_cast<HWND>(0x1234);
    VQArray<HWND, HWND&> handles;
    handles.Add(h);
    EXPECT_EQ(0, handles.Find(h));
}

TEST(Array, ElementsAreConstructedAndDestroyedInBalance) {
    Probe::live = 0;
    {
        VQArray<Probe, Probe&> a;
        Probe p;
        for (int i = 0; i < 20; ++i) {
            p.id = i;
            a.Add(p);
        }
        a.RemoveAt(3);
        a.SetSize(5);
        EXPECT_EQ(5, a.GetCount());
        EXPECT_EQ(4, a[3].id);
        a.RemoveAll();
        a.Add(p);
        EXPECT_EQ(1, a.GetCount());
    }
    EXPECT_EQ(0, Probe::live);
}

TEST(Array, CopyIsAValue) {
    VQWStringArray a;
    a.Add(VQWString(L"one"));
    VQWStringArray b(a);
    b[0] = VQWString(L"two");
    EXPECT_STREQ(L"one", a[0].Text());
    EXPECT_STREQ(L"two", b[0].Text());
}
