#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

CommandLine ParseCommandLine(const wchar_t* line) {
    CommandLine result;
    // CommandLineToArgvW would answer an empty line with this program's path.
    if (!line || !*line) return result;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line, &count);
    if (!argv) return result;
    if (count > 0) result.program = argv[0];
    for (int i = 1; i < count; ++i) result.arguments.push_back(VQWString(argv[i]));
    LocalFree(argv);
    if (!result.arguments.empty()) result.settingsFile = result.arguments[0];
    return result;
}
