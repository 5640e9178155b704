#include "base/messages.h"

#include <fstream>
#include <iterator>

#include "base/event_log.h"
#include "base/prompter.h"

namespace mdk {

void MessageTable::parse(std::string_view fileBytes) {
    lines_.clear();
    // The file ends at its first zero byte, as a zero-terminated block would.
    if (size_t nul = fileBytes.find('\0'); nul != std::string_view::npos) {
        fileBytes = fileBytes.substr(0, nul);
    }
    if (fileBytes.find('\n') == std::string_view::npos) return;

    std::string line;
    auto takeLine = [&]() -> bool {
        if (line.empty()) return false;
        if (line[0] != '#') lines_.push_back(line);
        line.clear();
        return true;
    };
    for (char c : fileBytes) {
        if (c == '\r') continue;
        if (c != '\n') {
            line.push_back(c);
            continue;
        }
        if (!takeLine()) return;
    }
    takeLine();  // a last line without a line end still counts
}

std::string_view MessageTable::text(int number) const {
    if (number < 0 || static_cast<size_t>(number) >= lines_.size()) return {};
    return lines_[static_cast<size_t>(number)];
}

int loadMessages(MessageTable& table, const std::string& programFolder, EventLog& log,
                 Prompter& prompter) {
    const std::string path = programFolder + "/Messages.lng";
    log.logLine(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        prompter.ask({"Warning", "Message file not found Will exit now.", PromptButtons::Ok,
                      PromptIcon::None, false});
        return -1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    table.parse(bytes);
    return 0;
}

}  // namespace mdk
