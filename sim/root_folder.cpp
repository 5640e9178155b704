#include "sim/root_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace mdk::sim {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMaxFileBytes = 64ull << 20;
constexpr uint64_t kMaxTotalBytes = 512ull << 20;
constexpr uint64_t kSpareBytes = 32ull << 20;  // free space on top of the loaded files

struct Loader {
    PhoneModel& model;
    std::vector<std::string>& warnings;
    uint64_t total = 0;

    bool readFile(const fs::path& file, uint64_t size, std::vector<uint8_t>& data) {
        std::ifstream in(file, std::ios::binary);
        data.resize(size);
        return in && in.read(reinterpret_cast<char*>(data.data()), std::streamsize(size)) &&
               in.gcount() == std::streamsize(size);
    }

    // Loads the tree below diskDir as the phone folder phoneDir. False when the total
    // size limit is passed.
    bool loadTree(const fs::path& diskDir, const std::string& phoneDir, std::string& error) {
        std::error_code ec;
        fs::recursive_directory_iterator it(diskDir, ec), end;
        if (ec) {
            warnings.push_back("cannot read " + diskDir.string() + ": " + ec.message());
            return true;
        }
        for (; it != end; it.increment(ec)) {
            if (ec) {
                warnings.push_back("cannot read below " + diskDir.string() + ": " + ec.message());
                break;
            }
            const fs::path& disk = it->path();
            const std::string phonePath =
                phoneDir + "/" + disk.lexically_relative(diskDir).generic_string();
            if (it->is_symlink(ec)) {
                warnings.push_back("skipped symbolic link " + disk.string());
                if (it->is_directory(ec)) it.disable_recursion_pending();
            } else if (it->is_directory(ec)) {
                if (!isValidPhonePath(phonePath) || !model.addFolder(phonePath)) {
                    warnings.push_back("skipped folder " + disk.string() + " (unusable name)");
                    it.disable_recursion_pending();
                }
            } else if (it->is_regular_file(ec)) {
                if (!addFile(disk, phonePath, error)) return false;
            } else {
                warnings.push_back("skipped special file " + disk.string());
            }
        }
        return true;
    }

    bool addFile(const fs::path& disk, const std::string& phonePath, std::string& error) {
        std::error_code ec;
        const uint64_t size = fs::file_size(disk, ec);
        if (ec || size > kMaxFileBytes) {
            warnings.push_back("skipped " + disk.string() +
                               (ec ? ": " + ec.message() : " (above 64 MiB)"));
            return true;
        }
        total += size;
        if (total > kMaxTotalBytes) {
            error = "the files below the root folder exceed 512 MiB";
            return false;
        }
        std::vector<uint8_t> data;
        if (!readFile(disk, size, data)) {
            warnings.push_back("cannot read " + disk.string());
        } else if (!model.addFile(phonePath, std::move(data))) {
            warnings.push_back("skipped " + disk.string() + " (unusable name)");
        }
        return true;
    }
};

std::vector<std::string> volumeNames(const PhoneModel& model, const fs::path& root) {
    std::vector<std::string> names;
    if (model.kind() == PhoneKind::Linux) {
        for (const auto& volume : model.volumes()) names.push_back(volume.name);
        return names;
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 1 && entry.is_directory(ec) && !entry.is_symlink(ec)) {
            names.push_back("/" + name);
        }
    }
    return names;
}

}  // namespace

bool loadRootFolder(PhoneModel& model, const std::string& dir, std::string& error,
                    std::vector<std::string>& warnings) {
    const fs::path root(dir);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        error = "not a folder: " + dir;
        return false;
    }
    std::vector<std::string> names = volumeNames(model, root);
    if (model.kind() != PhoneKind::Linux && names.empty()) {
        error = "no volumes in " + dir + " (want one-letter folders such as " + dir + "/a)";
        return false;
    }
    model.clearFiles();
    for (const std::string& name : names) model.addVolume(name, 0);
    Loader loader{model, warnings};
    for (const std::string& name : names) {
        const fs::path disk = root / name.substr(1);
        if (fs::is_directory(disk, ec) && !loader.loadTree(disk, name, error)) return false;
    }
    // Every volume gets room to spare above what it holds.
    for (const std::string& name : names) {
        uint64_t used = 0;
        for (const auto& entry : model.files()) {
            if (entry.path.compare(0, name.size() + 1, name + "/") == 0) used += entry.size;
        }
        model.addVolume(name,
                        static_cast<uint32_t>(std::min<uint64_t>(used + kSpareBytes, 0xFFFFFFFFu)));
    }
    return true;
}

}  // namespace mdk::sim
