#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace mdk {

class EventLog;
class Prompter;

// The numbered texts of "Messages.lng". Message n is the n-th non-comment line, counted
// from 0; the first empty line ends the table.
class MessageTable {
public:
    // Builds the table from the file's bytes by the file format's rules.
    void parse(std::string_view fileBytes);
    // Message n; an empty text for a number past the last message.
    std::string_view text(int number) const;
    size_t size() const { return lines_.size(); }
    void clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

// Loads programFolder/Messages.lng into the table, writing its path to the log first.
// A missing file shows "Message file not found Will exit now." and returns -1; else 0.
int loadMessages(MessageTable& table, const std::string& programFolder, EventLog& log,
                 Prompter& prompter);

}  // namespace mdk
