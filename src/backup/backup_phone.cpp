#include "backup/backup_phone.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "backup/sha256.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "config/run_settings.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/phone_identity.h"
#include "p2k/transfer_watch.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"
#include "seem/seem_lists.h"
#include "seem/seem_transfer.h"

namespace mdk {
namespace {

constexpr uint32_t kFolderBit = 0x1000;
constexpr uint16_t kIdentitySeemGsm = 0x0117;
constexpr uint16_t kIdentitySeemCdma = 0x2827;
// Seem files name records 0001 to 00FE.

bool usblanMode(const BackupPhone& phone) {
    return phone.settings.read().usblanP2k05();
}

// Sets the catalogue up to list every file and puts the user's settings back afterwards.
class AllFilesSearch {
public:
    explicit AllFilesSearch(RunSettings& settings)
        : settings_(settings), kept_(settings.change([](RunValues& values) {
              const RunValues kept = values;
              values.searchPattern = "/a/*.*";
              values.useFilter = 0;
              values.fileCountLimit = -1;
              return kept;
          })) {}
    ~AllFilesSearch() {
        settings_.change([this](RunValues& values) {
            values.searchPattern = kept_.searchPattern;
            values.useFilter = kept_.useFilter;
            values.fileCountLimit = kept_.fileCountLimit;
        });
    }
    AllFilesSearch(const AllFilesSearch&) = delete;
    AllFilesSearch& operator=(const AllFilesSearch&) = delete;

private:
    RunSettings& settings_;
    RunValues kept_;
};

// The one-letter volumes ("/a", "/c") of the phone's volume list; "/a" when it has none.
std::vector<std::string> phoneVolumes(BackupPhone& phone) {
    std::vector<std::string> volumes;
    std::vector<uint8_t> list;
    if (phone.commands.phoneListVolumes(list) == 0) {
        std::istringstream words(Catalogue::volumeText(list));
        std::string word;
        while (words >> word) {
            if (word.size() == 2 && word[0] == '/') volumes.push_back(word);
        }
    }
    if (volumes.empty()) volumes.push_back("/a");
    return volumes;
}

}  // namespace

std::string progressText(const RunProgress& p) {
    std::string text = std::to_string(p.index) + "/" + std::to_string(p.count);
    if (p.bytesTotal > 0) {
        text += "  " + std::to_string(p.bytesDone * 100 / p.bytesTotal) + "%";
    }
    for (const std::string& part : {speedText(p.bytesDone, p.elapsedMs),
                                    remainingText(p.bytesDone, p.bytesTotal, p.elapsedMs)}) {
        if (!part.empty()) text += "  " + part;
    }
    if (!p.item.empty()) text += "  " + p.item;
    return text;
}

PhoneIdentity readPhoneIdentity(BackupPhone& phone) {
    CommandSet& commands = phone.commands;
    if (usblanMode(phone)) {
        return {readUsblanModelName(commands).value_or(""), "Linux", "P2k05 over USBLAN"};
    }
    PhoneIdentity identity;
    const bool cdma = commands.cdmaPhone();
    identity.family = cdma ? "CDMA" : "GSM";
    identity.framing = commands.transport().p2k05Active() ? "P2k05" : "P2k";
    std::vector<uint8_t> reply;
    const int read = cdma ? commands.phoneReadSeem(kIdentitySeemCdma, 1, 0, 10, reply)
                          : commands.phoneReadSeem(kIdentitySeemGsm, 1, 0, 0, reply);
    if (read == 0 && !reply.empty()) {
        std::span<const uint8_t> data(reply);
        data = data.subspan(1);
        identity.model = cdma ? modelTextCdma(data) : modelTextGsm(data);
    }
    return identity;
}

bool phoneAnswers(BackupPhone& phone) {
    QuietLog quiet(phone.commands.log());
    std::vector<uint8_t> reply;
    if (usblanMode(phone)) return phone.commands.phoneListVolumes(reply) == 0;
    const uint16_t seem = phone.commands.cdmaPhone() ? kIdentitySeemCdma : kIdentitySeemGsm;
    return phone.commands.phoneReadSeem(seem, 1, 0, 1, reply) == 0;
}

PhoneListing listWholePhone(BackupPhone& phone) {
    PhoneSession session(phone.commands.transport());
    AllFilesSearch allFiles(phone.settings);
    const std::string volumeBefore = phone.catalogue.currentVolume();
    const bool loadedBefore = phone.catalogue.catalogueLoaded();
    // Over USBLAN the search lists every file of the phone at once.
    const auto volumes = usblanMode(phone) ? std::vector<std::string>{"/a"} : phoneVolumes(phone);
    PhoneListing listing;
    for (const auto& volume : volumes) {
        phone.catalogue.setCurrentVolume(volume);
        phone.catalogue.loadCatalogue();
        for (auto& record : phone.catalogue.records()) {
            if (listedAttributes(phone, record.attributeWord) & kFolderBit) {
                listing.folders[record.path] = record.attributeWord;
            } else {
                listing.files[record.path] = record;
            }
        }
    }
    // The catalogue is left holding the volume it held before (the phone pane lists it).
    phone.catalogue.setCurrentVolume(volumeBefore);
    if (loadedBefore && volumes.back() != volumeBefore) phone.catalogue.loadCatalogue();
    return listing;
}

uint32_t listedAttributes(const BackupPhone& phone, uint32_t attributeWord) {
    return paneAttributeValue(attributeWord, usblanMode(phone));
}

uint32_t downloadOpenMode(const BackupPhone& phone, const CatalogueRecord& record) {
    const bool usblan = usblanMode(phone);
    const uint32_t attributes = paneAttributeValue(record.attributeWord, usblan);
    return phoneOpenMode(attributes, usblan);
}

std::optional<std::vector<uint8_t>> downloadListedFile(BackupPhone& phone,
                                                       const CatalogueRecord& record) {
    const PhoneDownload file = listedDownload(phone, record);
    return downloadPhoneFile(phone.commands, file.phonePath, file.openMode, file.size);
}

PhoneDownload listedDownload(const BackupPhone& phone, const CatalogueRecord& record) {
    return {record.path, downloadOpenMode(phone, record), record.size};
}

std::optional<std::string> listedFileHash(BackupPhone& phone, const CatalogueRecord& record) {
    Sha256 hash;
    const auto sink = [&hash](std::span<const uint8_t> block) {
        hash.update(block);
        return true;
    };
    if (!downloadPhoneFile(phone.commands, listedDownload(phone, record), sink))
        return std::nullopt;
    return hash.hex();
}

std::string downloadFailureText(BackupPhone& phone) {
    const PhoneFailure failure = phone.commands.transport().failure();
    return failure.kind == FailureKind::ShortFile ? failure.text : "download failed";
}

std::vector<std::pair<uint16_t, std::vector<uint8_t>>> readSeemRecords(BackupPhone& phone,
                                                                       uint16_t seem) {
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> records;
    PhoneSession session(phone.commands.transport());
    QuietLog quiet(phone.commands.log());
    // As the seem folder's whole-seem download walks them: from record 1 up to the first
    // record the phone does not answer.
    for (uint16_t record = 1; record <= kLastSeemFileRecord; ++record) {
        auto data = readSeemRecord(phone.commands, seem, record);
        if (!data) break;
        records.emplace_back(record, std::move(*data));
    }
    return records;
}

std::vector<uint16_t> seemListNumbers(const SeemLists& lists) {
    std::vector<uint16_t> numbers;
    for (size_t i = 0; i < lists.seemCount(); ++i) {
        auto number = seemNumberOf(std::string(lists.seemEntry(i)));
        if (!number || std::find(numbers.begin(), numbers.end(), *number) != numbers.end()) {
            continue;
        }
        numbers.push_back(*number);
    }
    return numbers;
}

std::optional<std::string> storedFileName(const std::string& phonePath) {
    if (phonePath.size() < 2 || phonePath[0] != '/') return std::nullopt;
    size_t start = 1;
    while (start <= phonePath.size()) {
        size_t slash = phonePath.find('/', start);
        if (slash == std::string::npos) slash = phonePath.size();
        const std::string_view part = std::string_view(phonePath).substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return std::nullopt;
        start = slash + 1;
    }
    for (char c : phonePath) {
        if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
    }
    return "files" + phonePath;
}

std::optional<std::string> storedFilePath(const std::string& folder, const std::string& phonePath) {
    auto name = storedFileName(phonePath);
    if (!name) return std::nullopt;
    return folder + "/" + *name;
}

std::string storedSeemName(SeemKey key) {
    return "seems/" + seemFileName(key.first, key.second);
}

std::string storedSeemPath(const std::string& folder, SeemKey key) {
    return folder + "/" + storedSeemName(key);
}

std::optional<std::vector<uint8_t>> storedCopyWithHash(const AnchoredFolder& folder,
                                                       const std::string& name,
                                                       const std::string& sha256,
                                                       std::string& error) {
    auto bytes = folder.readFile(name, error);
    // What is there but cannot be read (a named pipe, a link) is named as such.
    if (!bytes && !folder.absent(name)) return std::nullopt;
    if (!bytes || sha256Hex(*bytes) != sha256) {
        error = "the stored copy is missing or damaged";
        return std::nullopt;
    }
    return bytes;
}

std::string utcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace mdk
