#include "app/preview_text.h"

#include <algorithm>

#include "engine/job_check.h"
#include "engine/output_path.h"
#include "engine/template.h"

namespace {

// The 1-based place of a unit as a person counts characters: a surrogate
// pair (𠮷 in a name, say) is one.
int CharacterNumber(const VQWString& text, int index) {
    int number = 1;
    for (int i = 0; i < index && i < text.GetLength(); ++i) {
        wchar_t c = text.GetAt(i);
        bool secondHalf = c >= 0xDC00 && c <= 0xDFFF && i > 0 && text.GetAt(i - 1) >= 0xD800 &&
                          text.GetAt(i - 1) <= 0xDBFF;
        if (!secondHalf) ++number;
    }
    return number;
}

struct PreviewedLine {
    VQWString line;   // the expanded command line
    VQWString error;  // what stops it, with the template's name; empty when nothing does
};

// The message of a template that fails, with its place when it has one.
VQWString TemplateError(const wchar_t* name, const VQWString& templateText, const VQWString& message, int marker) {
    VQWString error;
    if (marker >= 0) {
        error.Format(L"%s %d 文字目: %s", name, CharacterNumber(templateText, marker), message.Text());
        // A misspelt name is the usual cause: which one, and what was meant.
        VQWString hint = UnknownVariableHint(templateText, marker);
        if (!hint.IsEmpty()) {
            error.Append(L"\n");
            error.Append(hint);
        }
    } else {
        error.Format(L"%s: %s", name, message.Text());
    }
    return error;
}

// One template expanded for the entry exactly as the run expands it.
PreviewedLine Preview(const wchar_t* name, const VQWString& templateText, const VQWString& target,
                      const VQWString& preOutput, const VQTemplateContext& context) {
    PreviewedLine result;
    result.line = templateText;
    VQWString message;
    int marker = -1;
    if (ExpandTemplate(result.line, target, preOutput, context, message, kMaxCommandLineUnits, &marker)) return result;
    result.error = TemplateError(name, templateText, message, marker);
    return result;
}

// A line that cannot be started as a program: its first word is cmd's own.
// Empty when it can.
VQWString CmdBuiltinWarning(const wchar_t* name, const PreviewedLine& previewed) {
    VQWString word = FindCmdBuiltin(previewed.line);
    VQWString warning;
    if (!word.IsEmpty()) warning.Format(L"%s: %s", name, CmdBuiltinMessage(word).Text());
    return warning;
}

// The output for the entry into `output`; what stops it, or empty.
VQWString OutputError(const PreviewInput& input, VQWString& output) {
    VQTemplateContext context;
    context.root = input.root;
    context.forOutput = true;
    context.hasOutput = true;
    // The template's own errors first, with their place in it.
    VQWString error = Preview(L"出力先", input.output, input.target, VQWString(), context).error;
    if (!error.IsEmpty()) return error;
    VQWString message;
    if (!ExpandOutputPath(input.output, input.target, input.root, input.directory, output, message)) {
        return TemplateError(L"出力先", input.output, message, -1);
    }
    if (ReadOutputState(output).folder) return TemplateError(L"出力先", input.output, OutputIsFolderMessage(output), -1);
    return VQWString();
}

// The expanded lines, one a line.
VQWString PreviewLines(const PreviewInput& input, const PreviewedLine& pre, const PreviewedLine& command,
                       const VQWString& output) {
    VQWString text;
    if (!input.preCommand.IsEmpty()) {
        text.Append(L"先行: ");
        text.Append(pre.line);
        if (!input.command.IsEmpty()) text.Append(L"\n");
    }
    if (!input.command.IsEmpty()) {
        text.Append(L"コマンド: ");
        text.Append(command.line);
    }
    if (!input.output.IsEmpty()) {
        text.Append(L"\n出力先: ");
        text.Append(output);
    }
    return text;
}

}  // namespace

PreviewText MakePreviewText(const PreviewInput& input) {
    PreviewText shown;
    if (input.entries <= 0) {
        shown.text = L"対象ファイルを追加すると、展開したコマンドラインがここに表示されます。";
        return shown;
    }
    if (input.preCommand.IsEmpty() && input.command.IsEmpty()) {
        shown.text = L"コマンドを入力すると、選択した対象ファイルで展開したコマンドラインがここに表示されます。";
        return shown;
    }
    VQTemplateContext context;
    context.root = input.root;
    // The output first: the commands' $out is its path.
    VQWString outputError;
    if (!input.output.IsEmpty()) {
        outputError = OutputError(input, context.output);
        context.hasOutput = true;
    }
    // $pre is empty in the pre-command, as in a run; in the command it
    // stands for output that does not exist yet.
    PreviewedLine pre, command;
    if (!input.preCommand.IsEmpty()) pre = Preview(L"先行コマンド", input.preCommand, input.target, VQWString(), context);
    if (!input.command.IsEmpty()) {
        command = Preview(L"コマンド", input.command, input.target, VQWString(kPreOutputPlaceholder), context);
    }
    if (!outputError.IsEmpty() || !pre.error.IsEmpty() || !command.error.IsEmpty()) {
        shown.error = true;
        shown.text = !outputError.IsEmpty() ? outputError : pre.error.IsEmpty() ? command.error : pre.error;
        return shown;
    }
    shown.text = PreviewLines(input, pre, command, context.output);
    // Under the lines it is about; the run is still allowed.
    VQWString warning;
    if (!input.preCommand.IsEmpty()) warning = CmdBuiltinWarning(L"先行コマンド", pre);
    if (warning.IsEmpty() && !input.command.IsEmpty()) warning = CmdBuiltinWarning(L"コマンド", command);
    if (!warning.IsEmpty()) {
        shown.error = true;
        shown.text.Append(L"\n");
        shown.text.Append(warning);
    }
    return shown;
}

int PreviewGrowth(int shownHeight, int growth, int lineHeight, int lines, int moreLines) {
    if (lineHeight < 1) lineHeight = 1;
    int ownLines = std::max(1, (shownHeight - growth) / lineHeight);
    return std::min(std::max(lines - ownLines, 0), moreLines) * lineHeight;
}
