#include "base/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "base/messages.h"

namespace mdk {

void EventLog::setView(LogView* view) {
    std::lock_guard lock(mutex_);
    view_ = view;
}

void EventLog::setFilePath(std::string path) {
    std::lock_guard lock(mutex_);
    filePath_ = std::move(path);
}

void EventLog::deleteFile() {
    std::lock_guard lock(mutex_);
    if (!filePath_.empty()) ::unlink(filePath_.c_str());
}

void EventLog::createFile() {
    std::lock_guard lock(mutex_);
    if (filePath_.empty()) return;
    int fd = ::open(filePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
}

void EventLog::logLine(std::string_view text) {
    if (dropped()) return;
    std::lock_guard lock(mutex_);
    std::string line(text);
    if (view_) view_->appendLine(line);
    if (filePath_.empty()) return;
    // Only an existing file is written: between the deletion at start and the creation
    // during start-up, lines reach the list only.
    int fd = ::open(filePath_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    line += "\r\n";
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n <= 0) break;
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

void EventLog::logMessage(int number, std::string_view suffix) {
    if (dropped()) return;
    logLine(message(number) + std::string(suffix));
}

void EventLog::showLine(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (view_) view_->appendLine(std::string(text));
}

void EventLog::replaceLogLine(std::string_view text) {
    if (dropped()) return;
    std::lock_guard lock(mutex_);
    if (view_) view_->replaceLastLine(std::string(text));
}

std::string EventLog::message(int number) const {
    return std::string(messages_.text(number));
}

std::string EventLog::traceWordsText(const uint8_t* bytes, size_t words) {
    std::string text;
    text.reserve(words * 8 + 1);
    char hex[3];
    for (size_t i = 0; i < words * 4; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
        text += hex;
    }
    text += 'H';
    return text;
}

void EventLog::traceWords(const uint8_t* bytes, size_t words) {
    logLine(traceWordsText(bytes, words));
}

std::string EventLog::hexDumpLine(const uint8_t* bytes, size_t count) {
    std::string hexPart;
    std::string textPart;
    char hex[3];
    for (size_t i = 0; i < 16; ++i) {
        if (i < count) {
            std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
            hexPart += hex;
            hexPart += (i == 7) ? '-' : ' ';
            textPart += (bytes[i] >= 0x20 && bytes[i] <= 0x7E) ? static_cast<char>(bytes[i]) : '.';
        } else {
            hexPart += "   ";
            textPart += ' ';
        }
    }
    return hexPart + textPart;
}

void EventLog::hexDump(const uint8_t* bytes, size_t length) {
    size_t offset = 0;
    for (; offset + 16 <= length; offset += 16) logLine(hexDumpLine(bytes + offset, 16));
    logLine(hexDumpLine(bytes + offset, length - offset));
}

}  // namespace mdk
