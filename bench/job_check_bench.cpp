// The whole-list check before a run, on 100,000 targets in 1,000 folders:
// both templates expanded for every target and the command lines compared.
// Four commands: outputs named by $stem (no clash, the usual case), by
// $title (every second target clashes), a deep $level walk, and a list per
// folder appended to through a redirection. Each runs five times; the best
// time counts. Goal: at most 0.5 s each.
//   job_check_bench.exe
// Exit code 1 when a goal is missed.
#include <windows.h>

#include <cstdio>

#include "bench/bench_clock.h"
#include "engine/job_check.h"

namespace {

const int kTargets = 100000;
const double kGoalSeconds = 0.5;

struct Case {
    const wchar_t* name;
    const wchar_t* preCommand;
    const wchar_t* command;
    int expectedClashes;
    int expectedAppends;  // files appended to by more than one target
};

}  // namespace

int main() {
    VQArray<VQWString, VQWString> targets;
    for (int i = 0; i < kTargets; ++i) {
        // Pairs such as 旅行 0042.v1.jpg and 旅行 0042.v2.jpg share a title.
        VQWString path;
        path.Format(L"D:\\写真\\2025\\撮影 %03d\\旅行 %05d.v%d.jpg", i / 100, i / 2, i % 2 + 1);
        targets.Add(path);
    }
    const Case cases[] = {
        {L"$stem", L"", L"cmd /c copy \"$fullname\" \"E:\\出力\\$level1$stem.$ext\"", 0, 0},
        {L"$title", L"", L"cmd /c copy \"$fullname\" \"E:\\出力\\$level1$title.$ext\"", kTargets / 2, 0},
        {L"$level", L"cmd /c echo $hashname", L"convert \"$fullname\" \"E:\\$level0/3$hashtitle.png\"", 0, 0},
        {L">>", L"cmd /c for %I in (\"$fullname\") do @echo %~zI", L"cmd /c echo $name $pre>> \"..\\$level1一覧.txt\"",
         0, kTargets / 100},
    };
    bool met = true;
    for (const Case& c : cases) {
        double best = 1e9;
        VQTemplateCheck check;
        for (int round = 0; round < 5; ++round) {
            double start = Seconds();
            check = CheckTemplates(VQWString(c.preCommand), VQWString(c.command), targets, VQWString(L"E:\\作業"));
            double elapsed = Seconds() - start;
            if (elapsed < best) best = elapsed;
        }
        if (check.failedIndex >= 0 || static_cast<int>(check.clashes.size()) != c.expectedClashes ||
            static_cast<int>(check.sharedAppends.size()) != c.expectedAppends) {
            printf("%ls: unexpected result (failed at %d, %d clashes, %d shared appends)\n", c.name, check.failedIndex,
                   static_cast<int>(check.clashes.size()), static_cast<int>(check.sharedAppends.size()));
            return 2;
        }
        bool ok = best <= kGoalSeconds;
        met = met && ok;
        printf("%-7ls %d targets checked in %.3f s (%d clashing groups)%s\n", c.name, kTargets, best,
               static_cast<int>(check.clashes.size()), ok ? "" : "  GOAL MISSED");
    }
    return met ? 0 : 1;
}
