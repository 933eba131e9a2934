#include "tests/support/log_capture.h"

#include <windows.h>

#include "base/log.h"

LogCapture::LogCapture() : path(dir.Join(L"capture.log")) {
    int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &narrow[0], n, nullptr, nullptr);
    vqLog.fileName = narrow.c_str();
    vqLog.timestamps = 0;
    vqLog.indent = 0;
    vqLog.buffered = 0;
    vqLog.toFile = 1;
    vqLog.enabled = 1;
}

LogCapture::~LogCapture() {
    vqLog.enabled = 0;
    vqLog.toFile = 0;
    vqLog.fileName = VQString();
}

std::string LogCapture::Text() const { return TempDir::ReadWholeFile(path); }

std::string LogCapture::ShiftJis(const std::wstring& text) {
    const UINT kShiftJis = 932;
    int n = WideCharToMultiByte(kShiftJis, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(kShiftJis, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}
