#include "p2k/transfer_watch.h"

#include <cstdio>

#include "base/clock.h"

namespace mdk {

namespace {

constexpr uint64_t kSpeedKnownAfterMs = 500;

double bytesPerSecond(uint64_t bytes, uint64_t elapsedMs) {
    return double(bytes) * 1000.0 / double(elapsedMs);
}

bool speedKnown(uint64_t bytes, uint64_t elapsedMs) {
    return elapsedMs >= kSpeedKnownAfterMs && bytes > 0;
}

}  // namespace

std::string byteCountText(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    const char* units[] = {"KB", "MB", "GB"};
    double value = double(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string speedText(uint64_t bytes, uint64_t elapsedMs) {
    if (!speedKnown(bytes, elapsedMs)) return {};
    char text[48];
    std::snprintf(text, sizeof text, "%.1f KB/s", bytesPerSecond(bytes, elapsedMs) / 1024.0);
    return text;
}

std::string remainingText(uint64_t done, uint64_t total, uint64_t elapsedMs) {
    if (!speedKnown(done, elapsedMs) || total <= done) return {};
    const auto left =
        static_cast<unsigned long long>(double(total - done) / bytesPerSecond(done, elapsedMs));
    char text[64];
    if (left >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu left", left / 3600, left / 60 % 60,
                      left % 60);
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu left", left / 60, left % 60);
    }
    return text;
}

std::string transferProgressText(const TransferSnapshot& s) {
    std::string text;
    auto add = [&text](const std::string& part) {
        if (part.empty()) return;
        if (!text.empty()) text += "  ";
        text += part;
    };
    if (s.fileCount > 1) {
        add("file " + std::to_string(s.fileIndex) + " of " + std::to_string(s.fileCount));
    }
    add(s.fileName);
    add(byteCountText(s.fileDone) + " of " + byteCountText(s.fileSize));
    add(speedText(s.runDone, s.elapsedMs));
    const bool wholeRun = s.fileCount > 1 && s.runTotal > 0;
    const uint64_t total = wholeRun ? s.runTotal : s.fileSize;
    const uint64_t done = wholeRun ? s.runDone : s.fileDone;
    // What is left of the run, or of the file when it is alone.
    add(remainingText(done, total, s.elapsedMs));
    if (wholeRun) {
        add("(" + byteCountText(s.runDone) + " of " + byteCountText(s.runTotal) + " in all)");
    }
    return text;
}

TransferWatch::TransferWatch(Clock& clock, const std::atomic<bool>* externalCancel)
    : clock_(clock), externalCancel_(externalCancel) {}

void TransferWatch::beginRun(size_t fileCount, uint64_t totalBytes) {
    std::lock_guard lock(mutex_);
    cancel_ = false;
    runStarted_ = true;
    startMs_ = clock_.nowMs();
    state_ = {};
    state_.fileCount = fileCount;
    state_.runTotal = totalBytes;
}

void TransferWatch::beginFile(const std::string& name, uint64_t size) {
    std::lock_guard lock(mutex_);
    if (!runStarted_ || (state_.fileCount <= 1 && state_.fileIndex >= 1)) {
        // A file outside a run of several: a run of its own.
        runStarted_ = true;
        startMs_ = clock_.nowMs();
        state_ = {};
        state_.fileCount = 1;
        state_.runTotal = size;
    }
    ++state_.fileIndex;
    state_.fileName = name;
    state_.fileDone = 0;
    state_.fileSize = size;
}

void TransferWatch::addBytes(uint64_t bytes) {
    TransferSnapshot now;
    std::function<void(const TransferSnapshot&)> observer;
    {
        std::lock_guard lock(mutex_);
        state_.fileDone += bytes;
        state_.runDone += bytes;
        state_.elapsedMs = clock_.nowMs() - startMs_;
        now = state_;
        observer = observer_;
    }
    if (observer) observer(now);
}

bool TransferWatch::cancelRequested() const {
    return cancel_ || (externalCancel_ && externalCancel_->load());
}

TransferSnapshot TransferWatch::snapshot() const {
    std::lock_guard lock(mutex_);
    TransferSnapshot now = state_;
    if (runStarted_) now.elapsedMs = clock_.nowMs() - startMs_;
    return now;
}

void TransferWatch::setObserver(std::function<void(const TransferSnapshot&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

}  // namespace mdk
