#include "engine/run_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring W(const VQWString& text) { return std::wstring(text.Text(), text.GetLength()); }
VQWString V(const std::wstring& text) { return VQWString(text.c_str()); }

std::string Batched(const std::wstring& line) {
    VQWString out;
    if (!BatchLine(V(line), out)) return "<refused>";
    std::string narrow;
    for (wchar_t c : W(out)) narrow += static_cast<char>(c < 128 ? c : '?');
    return narrow;
}

std::string Utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

}  // namespace

TEST(RunPlan, EveryTargetInOrderWithBothLinesAndThePreOutputMarked) {
    PlanJob job;
    job.preCommand = V(L"identify \"$fullname\"");
    job.command = V(L"convert \"$fullname\" \"$title.webp\" $pre");
    job.directory = V(L"C:\\作業");
    std::vector<PlanRow> rows = MakePlan(job, {V(L"C:\\写真\\夏 休み.jpg"), V(L"C:\\写真\\b&c.png")});
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(L"C:\\写真\\夏 休み.jpg", W(rows[0].target));
    EXPECT_EQ(L"identify \"C:\\写真\\夏 休み.jpg\"", W(rows[0].preLine));
    EXPECT_EQ(L"convert \"C:\\写真\\夏 休み.jpg\" \"夏 休み.webp\" ‹先行コマンドの出力›", W(rows[0].commandLine));
    EXPECT_EQ(L"C:\\作業", W(rows[0].directory));
    EXPECT_TRUE(rows[0].output.IsEmpty());
    EXPECT_TRUE(rows[0].error.IsEmpty());
    EXPECT_EQ(L"convert \"C:\\写真\\b&c.png\" \"b&c.webp\" ‹先行コマンドの出力›", W(rows[1].commandLine));
    EXPECT_TRUE(UsesPreOutput(job.command));
    EXPECT_FALSE(UsesPreOutput(V(L"copy $fullname $$pre")));

    job.command = V(L"copy $fullname $titel");
    rows = MakePlan(job, {V(L"C:\\a.txt")});
    EXPECT_FALSE(rows[0].error.IsEmpty()) << "a template that does not expand says so in its row";
}

TEST(RunPlan, TheCsvHasTheResultsFilesMarkQuotingAndSafeCells) {
    PlanJob job;
    job.command = V(L"=cmd \"$fullname\"");
    job.directory = V(L"D:\\");
    std::string csv = FormatPlanCsv(MakePlan(job, {V(L"C:\\a,b.txt"), V(L"-x.txt")}));
    EXPECT_EQ(0u, csv.find("\xEF\xBB\xBF" + Utf8(L"番号,対象ファイル,先行コマンド,コマンド,出力,カレントディレクトリ,エラー\r\n")));
    EXPECT_NE(std::string::npos, csv.find("1,\"C:\\a,b.txt\",,\"'=cmd \"\"C:\\a,b.txt\"\"\",,D:\\,\r\n")) << csv;
    EXPECT_NE(std::string::npos, csv.find("2,'-x.txt,")) << "a cell a spreadsheet would take for a formula";
}

TEST(RunPlan, BatchLinesEscapeWhatCmdWouldReadOnlyOutsideQuotes) {
    EXPECT_EQ("copy \"a & b.txt\" c^&d", Batched(L"copy \"a & b.txt\" c&d"));
    EXPECT_EQ("x 100%%.txt \"50%% off\"", Batched(L"x 100%.txt \"50% off\""));
    EXPECT_EQ("a ^| b ^< c ^> d ^^ e ^(f^)", Batched(L"a | b < c > d ^ e (f)"));
    EXPECT_EQ("\"q\" ^& \"r\"", Batched(L"\"q\" & \"r\""));
    EXPECT_EQ("<refused>", Batched(L"line\r\nbreak"));
}

TEST(RunPlan, TheBatchFileStartsWithTheCodePageAndRefusesPre) {
    PlanJob job;
    job.preCommand = V(L"echo $name");
    job.command = V(L"copy \"$fullname\" \"%TEMP%\\$name\"");
    job.directory = V(L"C:\\作業 100%");
    std::vector<PlanRow> rows = MakePlan(job, {V(L"C:\\写真\\夏.jpg"), V(L"C:\\a&b.jpg")});
    SYSTEMTIME when = {2026, 12, 2, 8, 5, 40, 0, 0};
    std::string batch;
    VQWString reason;
    ASSERT_TRUE(FormatPlanBatch(rows, false, V(L"Quenbrix 1.0.0.0"), when, batch, reason)) << W(reason);
    EXPECT_EQ(0u, batch.find("@chcp 65001 >nul\r\n"));
    EXPECT_NE(std::string::npos, batch.find(Utf8(L"\r\nrem Quenbrix 1.0.0.0 が 2026-12-08 05:40:00 に書き出した実行予定です（2 件）。\r\n"))) << batch;
    std::string body = Utf8(L"cd /d \"C:\\作業 100%%\"\r\n"
                            L"echo 夏.jpg\r\ncopy \"C:\\写真\\夏.jpg\" \"%%TEMP%%\\夏.jpg\"\r\n"
                            L"echo a^&b.jpg\r\ncopy \"C:\\a&b.jpg\" \"%%TEMP%%\\a&b.jpg\"\r\n");
    EXPECT_NE(std::string::npos, batch.find(body)) << batch;
    EXPECT_EQ(1u, [&] {
        size_t count = 0;
        for (size_t at = batch.find("cd /d"); at != std::string::npos; at = batch.find("cd /d", at + 1)) ++count;
        return count;
    }()) << "one directory for the run";

    EXPECT_FALSE(FormatPlanBatch(rows, true, V(L"Quenbrix"), when, batch, reason));
    EXPECT_NE(std::wstring::npos, W(reason).find(L"$pre"));
    EXPECT_TRUE(batch.empty());
    job.command = V(L"copy $nmae");
    EXPECT_FALSE(FormatPlanBatch(MakePlan(job, {V(L"C:\\a.txt")}), false, V(L"Quenbrix"), when, batch, reason));
}

TEST(RunPlan, TheOutputComesFirstAndTheLinesSeeItAndTheRoot) {
    PlanJob job;
    job.command = V(L"convert \"$fullname\" \"$out\" $reldir");
    job.directory = V(L"C:\\作業");
    job.outputTemplate = V(L"出力\\$reldir$title.webp");
    std::vector<PlanRow> rows = MakePlan(job, std::vector<PlanTarget>{{V(L"C:\\写真\\2024\\夏.jpg"), V(L"C:\\写真\\")},
                                                                       {V(L"D:\\a.jpg"), VQWString()}});
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(L"C:\\作業\\出力\\2024\\夏.webp", W(rows[0].output)) << "relative: from the working directory";
    EXPECT_EQ(L"convert \"C:\\写真\\2024\\夏.jpg\" \"C:\\作業\\出力\\2024\\夏.webp\" 2024\\", W(rows[0].commandLine));
    EXPECT_EQ(L"C:\\作業\\出力\\a.webp", W(rows[1].output)) << "a single file has no folder below its root";
    job.outputTemplate = VQWString();
    rows = MakePlan(job, {V(L"D:\\a.jpg")});
    EXPECT_FALSE(rows[0].error.IsEmpty()) << "$out without 出力先";
}

TEST(RunPlan, TheBatchFileMakesEachOutputFolderOnceBeforeItsFilesLines) {
    PlanJob job;
    job.command = V(L"conv \"$fullname\" \"$out\"");
    job.directory = V(L"C:\\作業");
    job.outputTemplate = V(L"D:\\出力 100%\\$reldir$title.webp");
    std::vector<PlanRow> rows = MakePlan(job, std::vector<PlanTarget>{{V(L"C:\\写真\\a&b\\1.jpg"), V(L"C:\\写真\\")},
                                                                       {V(L"C:\\写真\\A&B\\2.jpg"), V(L"C:\\写真\\")},
                                                                       {V(L"C:\\写真\\3.jpg"), V(L"C:\\写真\\")},
                                                                       {V(L"C:\\4.jpg"), VQWString()}});
    job.outputTemplate = V(L"D:\\$name");
    rows.push_back(MakePlan(job, {V(L"C:\\5.jpg")})[0]);
    std::string batch;
    VQWString reason;
    SYSTEMTIME when = {2026, 12, 3, 9, 7, 0, 0, 0};
    ASSERT_TRUE(FormatPlanBatch(rows, false, V(L"Quenbrix"), when, batch, reason)) << W(reason);
    std::string body = Utf8(L"cd /d \"C:\\作業\"\r\n"
                            L"if not exist \"D:\\出力 100%%\\a&b\\\" mkdir \"D:\\出力 100%%\\a&b\"\r\n"
                            L"conv \"C:\\写真\\a&b\\1.jpg\" \"D:\\出力 100%%\\a&b\\1.webp\"\r\n"
                            L"conv \"C:\\写真\\A&B\\2.jpg\" \"D:\\出力 100%%\\A&B\\2.webp\"\r\n"
                            L"if not exist \"D:\\出力 100%%\\\" mkdir \"D:\\出力 100%%\"\r\n"
                            L"conv \"C:\\写真\\3.jpg\" \"D:\\出力 100%%\\3.webp\"\r\n"
                            L"conv \"C:\\4.jpg\" \"D:\\出力 100%%\\4.webp\"\r\n"
                            L"conv \"C:\\5.jpg\" \"D:\\5.jpg\"\r\n");
    EXPECT_NE(std::string::npos, batch.find(body)) << batch;
}
