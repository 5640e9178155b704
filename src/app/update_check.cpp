#include "app/update_check.h"

#include <algorithm>
#include <cctype>

namespace mdk::update {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

std::string versionCode(std::string_view aboutText) {
    // The version is the text's end, "V6.0.0": the letter and the major number stand
    // before the group "x.y" that ends at the last dot's left.
    const size_t lastDot = aboutText.rfind('.');
    if (lastDot == std::string_view::npos || lastDot < 4 || lastDot + 1 >= aboutText.size()) {
        return {};
    }
    const size_t groupStart = lastDot - 3;
    const char before = aboutText[lastDot - 1];
    const char after = aboutText[lastDot + 1];
    if (!isDigit(before) || !isDigit(after) || aboutText[groupStart + 1] != '.') return {};
    return std::string(aboutText.substr(groupStart - 1, 2)) + before + after;
}

std::string replyText(std::string_view body) {
    std::string_view text = body.substr(0, std::min(body.size(), kReplyMax));
    const size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    return std::string(text);
}

bool isWebLink(std::string_view link) {
    size_t hostStart = 0;
    if (startsWithNoCase(link, "https://")) {
        hostStart = 8;
    } else if (startsWithNoCase(link, "http://")) {
        hostStart = 7;
    } else {
        return false;
    }
    if (link.size() <= hostStart || link[hostStart] == '/') return false;
    for (char c : link) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) return false;
    }
    return true;
}

Release readRelease(const std::string& record, const std::string& versionCode) {
    Release release;
    if (!versionCode.empty() && record.compare(0, kCodeLength, versionCode) == 0) {
        release.upToDate = true;
        return release;
    }
    const std::string text = withoutLineEnd(record);
    if (text.size() < kLinkOffset) {
        release.refusal = "the release record is too short";
        return release;
    }
    const std::string link = text.substr(kLinkOffset);
    if (!isWebLink(link)) {
        release.refusal = "the release record holds no web link";
        return release;
    }
    release.link = link;
    return release;
}

}  // namespace mdk::update
