#include "engine/run_estimate.h"

bool EstimateTimeLeft(int finished, int total, int slots, int64_t finishedMs, int64_t elapsedMs, int64_t& leftMs) {
    if (finished < 1 || total <= finished || elapsedMs < kEstimateAfterMs || finishedMs < 1) return false;
    if (slots < 1) slots = 1;
    int left = total - finished;
    // Fewer targets than slots leave slots idle: they run all at once.
    int busy = left < slots ? left : slots;
    double average = static_cast<double>(finishedMs) / finished;
    double estimate = average * left / busy;
    if (!(estimate >= 0) || estimate > static_cast<double>(kMaxEstimateMs)) return false;
    leftMs = static_cast<int64_t>(estimate + 0.5);
    return true;
}

VQWString FormatTimeLeft(int64_t leftMs) {
    if (leftMs < 0) leftMs = 0;
    VQWString text;
    if (leftMs <= 59000) {
        long long seconds = (leftMs + 999) / 1000;
        if (seconds < 1) seconds = 1;
        text.Format(L"残り約 %lld秒", seconds);
        return text;
    }
    long long minutes = (leftMs + 30000) / 60000;
    if (minutes < 1) minutes = 1;
    if (minutes < 120) {
        text.Format(L"残り約 %lld分", minutes);
    } else if (minutes % 60 == 0) {
        text.Format(L"残り約 %lld時間", minutes / 60);
    } else {
        text.Format(L"残り約 %lld時間%lld分", minutes / 60, minutes % 60);
    }
    return text;
}
