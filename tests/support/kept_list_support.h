// Helpers shared by the tests that read kept lists (settings/kept_list.h).
#pragma once

#include <string>
#include <vector>

#include "settings/kept_list.h"

// Each entry as "path|root", with "|running" after it when it is marked, so
// that a whole list compares in one line.
inline std::vector<std::wstring> DescribeKept(const std::vector<KeptEntry>& entries) {
    std::vector<std::wstring> out;
    for (const KeptEntry& e : entries) {
        std::wstring line(e.path.Text(), static_cast<size_t>(e.path.GetLength()));
        line += L"|";
        line.append(e.root.Text(), static_cast<size_t>(e.root.GetLength()));
        if (e.running) line += L"|running";
        out.push_back(line);
    }
    return out;
}

// A kept list file's bytes, read as the program reads them.
inline std::vector<KeptEntry> ReadKept(const std::string& bytes, unsigned* journal = nullptr,
                                       KeptListReport* report = nullptr) {
    KeptEntries entries;
    KeptListReport ignored;
    unsigned number = 0;
    ReadKeptListText(bytes.data(), static_cast<int>(bytes.size()), entries, number, report ? *report : ignored);
    if (journal) *journal = number;
    return entries.Take();
}
