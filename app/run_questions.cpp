#include "app/run_questions.h"

#include "engine/child_environment.h"
#include "engine/job_check.h"

namespace {

// Targets whose outputs would overwrite each other: the question, then, when
// there are more groups, how many (groupsFormat), then the first group's first two files.
VQWString ClashQuestion(VQWString question, const wchar_t* groupsFormat, size_t groups,
                        const std::vector<RunTarget>& targets, int first, int second) {
    if (groups > 1) {
        VQWString count;
        count.Format(groupsFormat, static_cast<int>(groups));
        question.Append(count);
    }
    question.Append(targets[static_cast<size_t>(first)].path);
    question.Append(L"\n");
    question.Append(targets[static_cast<size_t>(second)].path);
    return question;
}

// Outputs, lines or redirections that two or more targets share; empty when none do.
VQWString SharedOutputQuestion(const VQTemplateCheck& check, const std::vector<RunTarget>& targets) {
    VQWString question;
    if (check.outputsCompared) {
        if (check.clashes.empty()) return question;
        const VQCommandClash& first = check.clashes[0];
        question.Format(L"%d 件の対象が同じ出力先 %s に書き込みます。実行しますか？\n"
                        L"後の対象の出力が前の対象の出力を置き換えます。\n\n",
                        first.count, check.clashOutputs[0].Text());
        return ClashQuestion(question, L"同じ出力先になる組が %d 組あります。最初の組:\n", check.clashes.size(),
                             targets, first.first, first.second);
    }
    if (!check.clashes.empty()) {
        // Lines that differ only in the target's own path count as the same:
        // the question says so.
        const VQCommandClash& first = check.clashes[0];
        question.Format(L"%d 件の対象が同じコマンドになります。実行しますか？\n"
                        L"対象ファイル自身のパスのほかは同じコマンドラインで、同じ出力先に書き込むおそれがあります。\n\n",
                        check.clashingTargets);
        return ClashQuestion(question, L"同じになる組が %d 組あります。最初の組:\n", check.clashes.size(), targets,
                             first.first, first.second);
    }
    if (check.sharedWrites.empty()) return question;
    // The same kind of clash, seen in the redirections rather than the whole line.
    const VQTemplateCheck::OutputFile& file = check.sharedWrites[0];
    question.Format(L"%d 件の対象が同じファイル %s に書き込みます。実行しますか？\n"
                    L"> で書き込むと、前の対象の出力が後の対象の出力で置き換わります。\n\n",
                    file.count, file.path.c_str());
    return ClashQuestion(question, L"同じファイルに書き込む組が %d 組あります。最初の組:\n", check.sharedWrites.size(),
                         targets, file.first, file.second);
}

VQWString PercentQuestion(const VQTemplateCheck& check, const std::vector<RunTarget>& targets) {
    const wchar_t* safe = FileEnvironmentName(check.percentVariable);
    VQWString question;
    question.Format(L"%d 件の対象ファイルのパスに %%…%% があり、cmd が環境変数として展開するおそれがあります。実行しますか？\n",
                    check.percentTargets);
    VQWString mend;
    if (safe) {
        mend.Format(L"%sで $%s の代わりに %%%s%% と書くと、cmd は値をそのまま渡します。\n\n",
                    check.percentInPreCommand ? L"先行コマンド" : L"コマンド", check.percentVariable, safe);
    } else {
        mend = L"$ 変数の代わりに %QB_FULLNAME% などの環境変数を使うと、cmd は値をそのまま渡します。\n\n";
    }
    question.Append(mend);
    question.Append(targets[static_cast<size_t>(check.percentIndex)].path);
    return question;
}

}  // namespace

RunQuestions QuestionsBeforeRun(const VQWString& preCommand, const VQWString& command, const VQWString& output,
                                const std::vector<RunTarget>& targets, const VQWString& directory,
                                bool skipUpToDate, int parallel) {
    RunQuestions said;
    if (targets.empty() || command.IsEmpty()) return said;
    VQTemplateCheck check = CheckJob(preCommand, command, output, targets, directory, skipUpToDate);
    if (check.failedIndex >= 0) {
        said.refusedTarget = check.failedIndex;
        said.refusal.Format(check.outputFailed ? L"対象ファイル: %s\n\n出力先: %s" : L"対象ファイル: %s\n\n%s",
                            targets[static_cast<size_t>(check.failedIndex)].path.Text(), check.errorText.Text());
        return said;
    }
    // Answering yes would overwrite an input: this one is refused, not asked.
    if (check.outputIsEntry >= 0) {
        said.refusedTarget = check.outputIsEntry;
        said.refusal.Format(L"出力先が対象ファイルと同じです。\n\n対象ファイル: %s\n出力先: %s",
                            targets[static_cast<size_t>(check.outputIsEntry)].path.Text(),
                            check.outputs[static_cast<size_t>(check.outputIsEntry)].Text());
        return said;
    }
    VQWString shared = SharedOutputQuestion(check, targets);
    if (!shared.IsEmpty()) said.questions.push_back(shared);
    // One at a time, appends keep every line; at once they can lose some to sharing violations.
    if (!check.sharedAppends.empty() && parallel > 1) {
        const VQTemplateCheck::OutputFile& file = check.sharedAppends[0];
        VQWString question;
        question.Format(L"同時に実行すると %s への追記が失われることがあります。実行しますか？\n"
                        L"%d 件の対象が同じファイルに追記します。同時実行数が 1 なら失われません。",
                        file.path.c_str(), file.count);
        said.questions.push_back(question);
    }
    if (check.percentIndex >= 0) said.questions.push_back(PercentQuestion(check, targets));
    said.skip = std::move(check.skip);
    return said;
}
