// The fuzz targets' checks on their seed corpora and on the inputs of past findings, so
// that a fixed fault stays fixed without a fuzz build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_checks.h"

namespace fs = std::filesystem;

namespace {

fs::path fuzzFolder() {
    if (const char* source = std::getenv("MDK_SOURCE_DIR")) return fs::path(source) / "tests/fuzz";
    return fs::path(__FILE__).parent_path().parent_path() / "fuzz";
}

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzReplay, EveryCorpusAndRegressionInputPassesItsCheck) {
    for (const mdk::fuzz::Target& target : mdk::fuzz::targets()) {
        size_t seeds = 0;
        for (const char* kind : {"corpus", "regressions"}) {
            const fs::path dir = fuzzFolder() / kind / target.name;
            if (!fs::is_directory(dir)) continue;
            for (const auto& entry : fs::directory_iterator(dir)) {
                const std::vector<uint8_t> bytes = readBytes(entry.path());
                const char* fault = target.check(bytes);
                EXPECT_EQ(fault, nullptr) << entry.path() << ": " << (fault ? fault : "");
                if (std::string_view(kind) == "corpus") ++seeds;
            }
        }
        EXPECT_GE(seeds, 2u) << "seed corpus of " << target.name << " missing";
    }
}

// targets.txt (what the fuzz build and scripts/fuzz run) and the checks name the same
// targets.
TEST(FuzzReplay, TargetListMatchesTheChecks) {
    std::ifstream in(fuzzFolder() / "targets.txt");
    std::vector<std::string> listed;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') listed.push_back(line);
    }
    std::vector<std::string> checked;
    for (const auto& target : mdk::fuzz::targets()) checked.emplace_back(target.name);
    EXPECT_EQ(listed, checked);
}

// The seem_file seeds write files both shorter and longer than their record.
TEST(FuzzReplay, SeemFileSeedsReachShorterAndLongerFiles) {
    size_t shorter = 0;
    size_t longer = 0;
    for (const auto& entry : fs::directory_iterator(fuzzFolder() / "corpus/seem_file")) {
        const std::vector<uint8_t> bytes = readBytes(entry.path());
        const auto [file, record] = mdk::fuzz::seemFileCut(bytes);
        EXPECT_EQ(file.size() + record.size(), bytes.size()) << entry.path();
        shorter += file.size() < record.size();
        longer += file.size() > record.size();
    }
    EXPECT_GE(shorter, 1u);
    EXPECT_GE(longer, 1u);
}

}  // namespace
