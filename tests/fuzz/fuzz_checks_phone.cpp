// The fuzz checks of what the phone sends: the transport's reply checks (classic fetch
// reply, P2k05 reply, USBLAN header and data) and the catalogue's search-next blocks.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "p2k/catalogue.h"
#include "p2k/transport.h"
#include "tests/fuzz/fuzz_check_sets.h"

namespace mdk::fuzz {
namespace {

using Bytes = std::span<const uint8_t>;

// A data reply's data lies inside the reply, right after its header; other verdicts
// point at no data.
const char* dataInside(const ReplyCheck& check, Bytes reply, size_t header) {
    if (check.verdict != ReplyVerdict::Data) {
        return check.dataOffset || check.dataLength ? "data given with a refusal" : nullptr;
    }
    if (check.dataOffset != header) return "data not right after the header";
    if (check.dataOffset + check.dataLength > reply.size()) return "data past the reply's end";
    return nullptr;
}

// The data of a data reply: what the reply announces, cut to what arrived.
const char* announcedData(const ReplyCheck& check, Bytes reply, size_t header) {
    if (check.verdict != ReplyVerdict::Data) return nullptr;
    const size_t announced = bytes::be16(&reply[10]);
    if (check.dataLength != std::min(announced, reply.size() - header)) {
        return "data length other than the announced length cut to what arrived";
    }
    return nullptr;
}

bool sameData(const ReplyCheck& check, Bytes reply, Bytes data) {
    return check.verdict == ReplyVerdict::Data && check.dataLength == data.size() &&
           std::equal(data.begin(), data.end(), reply.begin() + long(check.dataOffset));
}

// A classic fetch reply as the phone builds it.
std::vector<uint8_t> classicReply(uint16_t sequence, uint8_t status, Bytes data) {
    std::vector<uint8_t> reply = {1, 0, 0, 0};
    bytes::appendBe16(reply, static_cast<uint16_t>(8 + data.size()));
    bytes::appendBe16(reply, static_cast<uint16_t>(0x8000 | sequence));
    reply.push_back(static_cast<uint8_t>(status << 4));
    reply.push_back(0);
    bytes::appendBe16(reply, static_cast<uint16_t>(data.size()));
    bytes::appendBe16(reply, 0);
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

// A P2k05 reply as the phone builds it.
std::vector<uint8_t> p2k05Reply(uint8_t mark, uint16_t sequence, Bytes data) {
    std::vector<uint8_t> reply = {mark, 0, 0, 0, 0};
    bytes::appendBe16(reply, sequence);
    reply.insert(reply.end(), {0, 0, 0});
    bytes::appendBe16(reply, static_cast<uint16_t>(data.size()));
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

const char* classicVerdict(Bytes reply, uint16_t sequence, const ReplyCheck& check) {
    if (check.verdict == ReplyVerdict::Bad) return nullptr;
    if (reply.size() < kClassicReplyHeader || reply[0] != 1 || !(reply[6] & 0x80)) {
        return "a reply without its marks taken";
    }
    if ((bytes::be16(&reply[6]) & 0x0FFF) != sequence) return "another request's reply taken";
    if (check.status != (check.verdict == ReplyVerdict::Data ? 0 : reply[8] >> 4)) {
        return "a status other than the reply's";
    }
    const uint16_t next = static_cast<uint16_t>((sequence + 1) % Transport::kSequenceWrap);
    if (mdk::checkClassicReply(reply, next).verdict != ReplyVerdict::Bad) {
        return "one reply taken for two sequences";
    }
    return nullptr;
}

// A well-formed reply of every status, with the input as its data, is read as it was meant.
const char* classicRoundTrip(uint16_t sequence, Bytes input) {
    const Bytes data = input.first(std::min<size_t>(input.size(), 0xFFFF - 8));
    const std::vector<uint8_t> reply = classicReply(sequence, 8, data);
    if (!sameData(mdk::checkClassicReply(reply, sequence), reply, data)) {
        return "a well-formed data reply refused or its data changed";
    }
    if (mdk::checkClassicReply(classicReply(sequence, 6, {}), sequence).verdict !=
        ReplyVerdict::NoData) {
        return "a status-6 reply not taken as done";
    }
    const uint8_t status = input.empty() ? 14 : input[0] & 0x0F;
    const ReplyCheck refused = mdk::checkClassicReply(classicReply(sequence, status, {}), sequence);
    if (status != 6 && status != 8 &&
        (refused.verdict != ReplyVerdict::PhoneStatus || refused.status != status)) {
        return "an error status not reported";
    }
    return nullptr;
}

// Layout and decoding of one search-next reply.
const char* checkBlock(Bytes reply, const Catalogue::BlockLayout& layout,
                       std::optional<uint32_t> knownStride) {
    if (knownStride && layout.stride != *knownStride) return "the stride changed inside a load";
    if (layout.stride < Catalogue::kMinStride || layout.stride > Catalogue::kMaxStride) {
        return "a stride out of its limits";
    }
    if (layout.whole == 0 || layout.whole > layout.count) return "more records than announced";
    if (4 + layout.whole * layout.stride > reply.size()) return "a record past the reply's end";
    for (size_t i = 0; i < layout.whole; ++i) {
        const Bytes record = reply.subspan(4 + i * layout.stride, layout.stride);
        const Catalogue::RecordView view = Catalogue::decodeRecord(record);
        if (view.path.size() > layout.stride - 8) return "a path running into the fields";
        if (view.path.find('\0') != std::string_view::npos) return "a path holding a zero byte";
        if (view.attributeWord != bytes::le32(&record[layout.stride - 8]) ||
            view.size != bytes::be32(&record[layout.stride - 4])) {
            return "fields read from the wrong place";
        }
    }
    // The records kept, as a first block of their own, give the same layout.
    std::vector<uint8_t> kept = {0, 0, 0, 0};
    bytes::putBe16(kept.data(), static_cast<uint16_t>(layout.whole));
    kept.insert(kept.end(), reply.begin() + 4,
                reply.begin() + long(4 + layout.whole * layout.stride));
    const auto again = Catalogue::blockLayout(kept, std::nullopt);
    if (!again || again->stride != layout.stride || again->whole != layout.whole) {
        return "the kept records do not read back";
    }
    return nullptr;
}

const char* checkVolumeText(Bytes bytes) {
    const std::string text = Catalogue::volumeText({bytes.begin(), bytes.end()});
    if (text.empty() || text.back() != ' ') return "a volume text without its closing blank";
    if (text.size() > bytes.size() / 2 + 1) return "more volume characters than units";
    if (text.find('\0') != std::string::npos) return "a zero byte in the volume text";
    return nullptr;
}

}  // namespace

// Input: the request's sequence (2 bytes), then the fetch reply.
const char* checkClassicReply(Bytes bytes) {
    if (bytes.size() < 2) return nullptr;
    const uint16_t sequence = bytes::be16(bytes.data()) % Transport::kSequenceWrap;
    const Bytes reply = bytes.subspan(2);
    const ReplyCheck check = mdk::checkClassicReply(reply, sequence);
    for (const char* fault : {dataInside(check, reply, kClassicReplyHeader),
                              announcedData(check, reply, kClassicReplyHeader),
                              classicVerdict(reply, sequence, check)}) {
        if (fault) return fault;
    }
    return classicRoundTrip(sequence, reply);
}

const char* checkP2k05Reply(Bytes reply) {
    const ReplyCheck check = mdk::checkP2k05Reply(reply);
    if (const char* fault = dataInside(check, reply, kP2k05ReplyHeader)) return fault;
    if (const char* fault = announcedData(check, reply, kP2k05ReplyHeader)) return fault;
    const bool marked = !reply.empty() && (reply[0] == 0x80 || reply[0] == 0x82);
    if ((check.verdict == ReplyVerdict::Data) != (marked && reply.size() >= kP2k05ReplyHeader)) {
        return "a reply's mark misread";
    }
    const Bytes data = reply.first(std::min<size_t>(reply.size(), 0xFFFF));
    for (const uint8_t mark : {0x80, 0x82}) {
        const std::vector<uint8_t> built = p2k05Reply(mark, 1, data);
        if (!sameData(mdk::checkP2k05Reply(built), built, data)) {
            return "a well-formed reply refused or its data changed";
        }
    }
    if (mdk::checkP2k05Reply(p2k05Reply(0x81, 1, data)).verdict != ReplyVerdict::Bad) {
        return "a reply marked 0x81 taken";
    }
    return nullptr;
}

// Input: what the USBLAN socket delivers: replies, each a 12-byte header announcing the
// length of the data that follows. Read as the link reads them, until the bytes run out.
const char* checkUsblanReply(Bytes stream) {
    for (int replies = 0; stream.size() >= kP2k05ReplyHeader && replies < 64; ++replies) {
        const auto header = stream.first<kP2k05ReplyHeader>();
        const size_t length = p2k05ReplyDataLength(header);
        if (length != bytes::be16(&header[10])) return "a data length other than announced";
        if (stream.size() < kP2k05ReplyHeader + length) return nullptr;  // still waiting
        const Bytes reply = stream.first(kP2k05ReplyHeader + length);
        const ReplyCheck check = mdk::checkP2k05Reply(reply);
        const bool marked = reply[0] == 0x80 || reply[0] == 0x82;
        if ((check.verdict == ReplyVerdict::Data) != marked) return "a reply's mark misread";
        if (marked && !sameData(check, reply, reply.subspan(kP2k05ReplyHeader))) {
            return "a complete reply's data cut or moved";
        }
        stream = stream.subspan(reply.size());
    }
    return nullptr;
}

// Input: the search-next replies of one load, each behind its length (2 bytes).
const char* checkCatalogue(Bytes bytes) {
    if (const char* fault = checkVolumeText(bytes)) return fault;
    std::optional<uint32_t> stride;
    for (int replies = 0; bytes.size() >= 2 && replies < 64; ++replies) {
        const size_t length = std::min<size_t>(bytes::be16(bytes.data()), bytes.size() - 2);
        const Bytes reply = bytes.subspan(2, length);
        bytes = bytes.subspan(2 + length);
        const auto layout = Catalogue::blockLayout(reply, stride);
        if (!layout) return nullptr;  // the load ends here
        if (const char* fault = checkBlock(reply, *layout, stride)) return fault;
        stride = layout->stride;
        if (layout->whole < layout->count) return nullptr;  // a short block ends the load
    }
    return nullptr;
}

}  // namespace mdk::fuzz
