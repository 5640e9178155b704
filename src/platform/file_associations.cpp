#include "platform/file_associations.h"

#include <filesystem>

#include "platform/process_runner.h"

namespace mdk {

namespace fs = std::filesystem;
using namespace association;

namespace {

// Marks the files a start wrote, so that only those are ever removed.
constexpr const char* kOwnMark = "X-Marrowdeck-Written-At-Start=true";

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// True when a desktop entry's MimeType key lists the type.
bool entryClaims(const std::string& text, const std::string& type) {
    size_t line = 0;
    while (line < text.size()) {
        size_t end = text.find('\n', line);
        if (end == std::string::npos) end = text.size();
        const std::string_view row(text.data() + line, end - line);
        if (row.rfind("MimeType=", 0) == 0) {
            std::string_view list = row.substr(9);
            while (!list.empty()) {
                const size_t semicolon = list.find(';');
                const std::string_view item = list.substr(0, semicolon);
                if (item == type) return true;
                if (semicolon == std::string_view::npos) break;
                list.remove_prefix(semicolon + 1);
            }
        }
        line = end + 1;
    }
    return false;
}

}  // namespace

std::string FileAssociations::desktopEntryPath() const {
    return folders_.dataHome + "/applications/" + kDesktopId;
}

std::string FileAssociations::mimePackagePath() const {
    return folders_.dataHome + "/mime/packages/" + kMimePackage;
}

std::string FileAssociations::iconPath() const {
    return folders_.dataHome + "/icons/hicolor/48x48/apps/" + kIconName + ".png";
}

std::string FileAssociations::mimePackageText(bool withSkinPack) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"" +
        std::string(kPackageType) +
        "\">\n"
        "    <comment>Marrowdeck batch package</comment>\n"
        "    <sub-class-of type=\"text/plain\"/>\n"
        "    <icon name=\"" +
        kIconName +
        "\"/>\n"
        "    <glob pattern=\"*.mrdk\"/>\n"
        "  </mime-type>\n";
    if (withSkinPack) {
        text += "  <mime-type type=\"" + std::string(kSkinPackType) +
                "\">\n"
                "    <comment>Phone skin pack</comment>\n"
                "    <sub-class-of type=\"application/zip\"/>\n"
                "    <glob pattern=\"*.s4m\"/>\n"
                "  </mime-type>\n";
    }
    return text + "</mime-info>\n";
}

std::string FileAssociations::desktopEntryText(const std::string& programPath, bool withSkinPack) {
    const std::string program = desktopExecArgument(programPath);
    if (program.empty()) return {};
    std::string types = std::string(kPackageType) + ";";
    if (withSkinPack) types += std::string(kSkinPackType) + ";";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Marrowdeck\n"
           "Comment=File manager for Motorola P2k and Linux phones\n"
           "Exec=" +
           program +
           " %f\n"
           "Icon=" +
           kIconName +
           "\n"
           "Terminal=false\n"
           "Categories=Utility;\n"
           "MimeType=" +
           types + "\n" + kOwnMark + "\n";
}

bool FileAssociations::installedEntryExists() const {
    for (const std::string& folder : folders_.dataDirs) {
        if (fileExists(folder + "/applications/" + kDesktopId)) return true;
    }
    return false;
}

bool FileAssociations::skinPackClaimed() const {
    std::vector<std::string> folders = folders_.dataDirs;
    folders.push_back(folders_.dataHome);
    for (const std::string& folder : folders) {
        std::error_code ec;
        fs::directory_iterator entries(folder + "/applications", ec);
        if (ec) continue;
        for (const fs::directory_entry& entry : entries) {
            const fs::path& path = entry.path();
            if (path.extension() != ".desktop" || path.filename() == kDesktopId) continue;
            if (entryClaims(readText(path.string()), kSkinPackType)) return true;
        }
    }
    return false;
}

void FileAssociations::removeOwnEntries() {
    std::error_code ec;
    bool removed = false;
    if (readText(desktopEntryPath()).find(kOwnMark) != std::string::npos) {
        removed = fs::remove(desktopEntryPath(), ec) || removed;
    }
    bool mimeRemoved = false;
    if (readText(mimePackagePath()).find(kPackageType) != std::string::npos) {
        mimeRemoved = fs::remove(mimePackagePath(), ec);
    }
    refreshDatabases(mimeRemoved, removed);
}

void FileAssociations::refreshDatabases(bool mimeChanged, bool entryChanged) {
    if (folders_.dataHome.empty()) return;
    // Each tool runs only where it is installed; neither is waited for.
    if (mimeChanged) {
        runner_.start("command -v update-mime-database >/dev/null && update-mime-database " +
                      shellQuoted(folders_.dataHome + "/mime"));
    }
    if (entryChanged) {
        runner_.start("command -v update-desktop-database >/dev/null && update-desktop-database " +
                      shellQuoted(folders_.dataHome + "/applications"));
    }
}

AssociationResult FileAssociations::write(const std::string& programPath,
                                          const std::vector<uint8_t>& iconPng) {
    if (folders_.dataHome.empty() || programPath.empty() || programPath[0] != '/') {
        return AssociationResult::Failed;
    }
    if (installedEntryExists()) {
        removeOwnEntries();
        return AssociationResult::Installed;
    }
    const bool withSkinPack = !skinPackClaimed();
    const std::string entry = desktopEntryText(programPath, withSkinPack);
    if (entry.empty()) return AssociationResult::Failed;
    const std::string mime = mimePackageText(withSkinPack);

    bool failed = false;
    auto put = [&failed](const std::string& path, const std::string& text) {
        const bool written = writeTextIfChanged(path, text);
        if (!written && readText(path) != text) failed = true;
        return written;
    };
    if (!iconPng.empty()) {
        put(iconPath(), std::string(iconPng.begin(), iconPng.end()));
    }
    const bool mimeChanged = put(mimePackagePath(), mime);
    const bool entryChanged = put(desktopEntryPath(), entry);
    refreshDatabases(mimeChanged, entryChanged);
    return failed ? AssociationResult::Failed : AssociationResult::Written;
}

}  // namespace mdk
