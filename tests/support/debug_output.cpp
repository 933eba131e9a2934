#include "tests/support/debug_output.h"

#include <windows.h>

namespace {

std::vector<std::string>* active = nullptr;

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (active && record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        // Parameter 0 is the length with the NUL, parameter 1 the text.
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
        if (length > 0 && text) active->push_back(std::string(text, length - 1));
    }
    // Let the system finish its own handling of the output.
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugOutputCapture::DebugOutputCapture() : handler(AddVectoredExceptionHandler(1, OnException)) { active = &calls; }

DebugOutputCapture::~DebugOutputCapture() {
    active = nullptr;
    if (handler) RemoveVectoredExceptionHandler(handler);
}

std::string DebugOutputCapture::Text() const {
    std::string all;
    for (const std::string& call : calls) all += call;
    return all;
}
