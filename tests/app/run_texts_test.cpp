// The texts of the preview, the check before a run, an entry's result and
// the adding of targets, as functions of their inputs, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/adding_messages.h"
#include "app/entry_text.h"
#include "app/extension_filter.h"
#include "app/preview_text.h"
#include "app/run_questions.h"

namespace {

std::wstring W(const VQWString& text) { return std::wstring(text.Text(), static_cast<size_t>(text.GetLength())); }

PreviewInput Input(const wchar_t* pre, const wchar_t* command, const wchar_t* output = L"") {
    PreviewInput input;
    input.entries = 1;
    input.target = L"C:\\写真\\旅行.v1.jpg";
    input.preCommand = pre;
    input.command = command;
    input.output = output;
    input.directory = L"C:\\作業";
    return input;
}

}  // namespace

TEST(PreviewText, TheLinesOrTheFirstErrorInTheOrderARunMeetsThem) {
    struct Case {
        PreviewInput input;
        const wchar_t* text;
        bool error;
    } cases[] = {
        {Input(L"identify $ext", L"x $title", L"out\\$stem.png"),
         L"先行: identify jpg\nコマンド: x 旅行\n出力先: C:\\作業\\out\\旅行.v1.png", false},
        {Input(L"", L"copy $name x"), L"コマンド: copy 旅行.v1.jpg x\nコマンド: copy は cmd の内部コマンドです。cmd /c copy … と書いてください。",
         true},
        // The output before the pre-command before the command.
        {Input(L"echo $level9", L"x $titel", L"$pre"), L"出力先 1 文字目: 出力先の中では $pre は使えません。\n >> $pre", true},
        {Input(L"echo $level9", L"x $titel"), L"先行コマンド 6 文字目: level指定で存在しないパスが指定されています。\necho  >> $level9",
         true},
        {Input(L"", L""), L"コマンドを入力すると、選択した対象ファイルで展開したコマンドラインがここに表示されます。", false},
    };
    for (const Case& c : cases) {
        PreviewText shown = MakePreviewText(c.input);
        EXPECT_EQ(c.text, W(shown.text));
        EXPECT_EQ(c.error, shown.error) << std::string(c.text, c.text + 4);
    }
    PreviewInput none = Input(L"", L"x");
    none.entries = 0;
    EXPECT_EQ(L"対象ファイルを追加すると、展開したコマンドラインがここに表示されます。", W(MakePreviewText(none).text));
}

TEST(PreviewText, GrowsByTheLinesItCannotShowUpToTheLimit) {
    EXPECT_EQ(0, PreviewGrowth(32, 0, 16, 2, 3));
    EXPECT_EQ(16, PreviewGrowth(32, 0, 16, 3, 3));
    EXPECT_EQ(48, PreviewGrowth(80, 48, 16, 9, 3)) << "its own two lines, three more at most";
    EXPECT_EQ(0, PreviewGrowth(48, 16, 16, 1, 3)) << "the height goes back";
}

TEST(RunQuestions, ARefusalAsksNothingAndTheQuestionsComeInOrder) {
    std::vector<RunTarget> targets = {{VQWString(L"C:\\a\\%OS%.txt"), VQWString(), false},
                                      {VQWString(L"C:\\b\\%OS%.txt"), VQWString(), false}};
    RunQuestions refused = QuestionsBeforeRun(VQWString(), VQWString(L"x $level5"), VQWString(), targets,
                                              VQWString(L"C:\\"), false, 1);
    EXPECT_EQ(0, refused.refusedTarget);
    EXPECT_EQ(0u, W(refused.refusal).find(L"対象ファイル: C:\\a\\%OS%.txt\n\nlevel指定で"));
    EXPECT_TRUE(refused.questions.empty());

    RunQuestions asked = QuestionsBeforeRun(VQWString(), VQWString(L"cmd /c echo $name>> log.txt"), VQWString(),
                                            targets, VQWString(L"C:\\"), false, 2);
    EXPECT_EQ(-1, asked.refusedTarget);
    ASSERT_EQ(3u, asked.questions.size());
    EXPECT_EQ(0u, W(asked.questions[0]).find(L"2 件の対象が同じコマンドになります。"));
    EXPECT_EQ(0u, W(asked.questions[1]).find(L"同時に実行すると log.txt への追記が失われることがあります。"));
    EXPECT_EQ(0u, W(asked.questions[2]).find(L"2 件の対象ファイルのパスに %…% があり"));
    // One at a time, appends lose nothing.
    EXPECT_EQ(2u, QuestionsBeforeRun(VQWString(), VQWString(L"cmd /c echo $name>> log.txt"), VQWString(), targets,
                                     VQWString(L"C:\\"), false, 1)
                      .questions.size());
}

TEST(EntryText, TheDescriptionNamesTheCodesSecondsTriesAndOutput) {
    EntryResult result;
    result.status = TargetStatus::Done;
    result.commandEnded = true;
    result.commandExitCode = 0xC0000005;
    result.milliseconds = 12345;
    result.tries = 2;
    result.firstLine = L"last line";
    result.outputPath = L"D:\\o.png";
    result.outputDeleted = true;
    EXPECT_EQ(std::wstring(StatusText(TargetStatus::Done)) +
                  L"　終了コード - / 0xC0000005　12.34 秒　試行 2 回　last line　出力: D:\\o.png（削除しました）",
              W(DescribeEntry(result)));
    EXPECT_EQ(L"0.05 秒", W(SecondsText(59)));
    EXPECT_EQ(L"1.059 秒", W(SecondsText(1059, 3)));
    EXPECT_EQ(L"-", W(StepExitCodeText(false, 3)));
}

TEST(AddingTexts, TheExtensionFilterAndTheCounts) {
    ExtensionFilter filter(VQWString(L"jpg; PNG "));
    EXPECT_TRUE(filter.Admits(VQWString(L"C:\\a.JPG")));
    EXPECT_TRUE(filter.Admits(VQWString(L"C:\\a.png")));
    EXPECT_FALSE(filter.Admits(VQWString(L"C:\\a.jpeg")));
    EXPECT_TRUE(ExtensionFilter(VQWString()).Admits(VQWString(L"C:\\a.jpeg")));
    VQWString dialog = filter.DialogFilter();
    EXPECT_EQ(std::wstring(L"対象ファイル(*.jpg;*.PNG)\0*.jpg;*.PNG\0\0", 33), W(dialog));
    EXPECT_EQ(L"リストと照らし合わせています… 1,024 / 12,345 件", W(CheckingText(1024, 12345)));
    VQFolderSearch search;
    EXPECT_TRUE(PassedOverMessage(search).IsEmpty());
    search.linksPassed = 2;
    EXPECT_EQ(L"フォルダの中の次のものは追加しませんでした。\nフォルダのリンク（ジャンクション、シンボリックリンク）: 2 個",
              W(PassedOverMessage(search)));
}
