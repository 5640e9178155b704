#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace mdk {

class MessageTable;

// The log list of the main window. Called from any thread: the GUI implementation posts
// the change to its own thread; it never blocks on it.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void appendLine(const std::string& text) = 0;
    // Replaces the last line (the live progress line of a catalogue load).
    virtual void replaceLastLine(const std::string& text) = 0;
};

// The event log: the list of the main window and the ".log" file in the program folder.
class EventLog {
public:
    explicit EventLog(const MessageTable& messages) : messages_(messages) {}

    void setView(LogView* view);
    // Where the ".log" file lives; lines reach it only while it exists.
    void setFilePath(std::string path);
    void deleteFile();
    void createFile();

    // Appends a line, unless the log is quiet and packets are not logged.
    void logLine(std::string_view text);
    // Message n of the message table followed by suffix.
    void logMessage(int number, std::string_view suffix = {});
    // Appends a line to the list only; the file is not touched (a heading of the list).
    void showLine(std::string_view text);
    // Replaces the last line of the list; the file is not touched.
    void replaceLogLine(std::string_view text);

    // Packet trace helpers (callers trace only while packets() is on).
    void traceWords(const uint8_t* bytes, size_t words);
    void hexDump(const uint8_t* bytes, size_t length);
    static std::string traceWordsText(const uint8_t* bytes, size_t words);
    // One 64-character hex dump line of up to 16 bytes.
    static std::string hexDumpLine(const uint8_t* bytes, size_t count);

    std::string message(int number) const;
    bool quiet() const { return quiet_; }
    void setQuiet(bool quiet) { quiet_ = quiet; }
    bool packets() const { return packets_; }
    void setPackets(bool packets) { packets_ = packets; }

private:
    bool dropped() const { return quiet_ && !packets_; }

    const MessageTable& messages_;
    std::atomic<bool> quiet_{false};
    std::atomic<bool> packets_{false};
    std::mutex mutex_;
    LogView* view_ = nullptr;
    std::string filePath_;
};

// Quiets the log for a scope and restores the previous state.
class QuietLog {
public:
    explicit QuietLog(EventLog& log) : log_(log), was_(log.quiet()) { log_.setQuiet(true); }
    ~QuietLog() { log_.setQuiet(was_); }
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;

private:
    EventLog& log_;
    bool was_;
};

}  // namespace mdk
