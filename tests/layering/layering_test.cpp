#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "layer_rules.h"

namespace fs = std::filesystem;
using namespace mdk::layering;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path sourceRoot() {
    const char* dir = std::getenv("MDK_SOURCE_DIR");
    return dir ? fs::path(dir) : fs::path(MDK_SOURCE_ROOT);
}

std::string describe(const std::vector<Violation>& violations) {
    std::string out;
    for (const auto& v : violations) {
        out += v.file + ":" + std::to_string(v.line) + ": #include \"" + v.include +
               "\": " + v.reason + "\n";
    }
    return out;
}

// A small tree of three layers with one file each, written into a temporary folder.
class PlantedTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("mdk-layers-" + std::to_string(::getpid()));
        fs::remove_all(root);
        write("src/low/a.h", "#pragma once\n");
        write("src/mid/b.h", "#include \"low/a.h\"\n");
        write("src/top/c.cpp", "#include \"mid/b.h\"\n#include <vector>\n");
        write("tool/main.cpp", "#include \"low/a.h\"\n");
        rules =
            parseLayerRules("layer src/low\nlayer src/mid\nlayer src/top\nprogram tool src/low\n");
    }
    void TearDown() override { fs::remove_all(root); }
    void write(const std::string& rel, const std::string& text) {
        fs::create_directories((root / rel).parent_path());
        std::ofstream(root / rel) << text;
    }
    fs::path root;
    LayerRules rules;
};

}  // namespace

TEST(Layering, TheProjectKeepsItsLayers) {
    const auto root = sourceRoot();
    const auto rules = parseLayerRules(readFile(root / "tests/layering/layers.txt"));
    ASSERT_TRUE(rules.errors.empty()) << rules.errors.front();
    ASSERT_FALSE(rules.folders.empty());
    const auto violations = findViolations(root, rules);
    EXPECT_TRUE(violations.empty()) << describe(violations);
    const auto mutual = findMutualIncludes(root, rules);
    EXPECT_TRUE(mutual.empty()) << mutual.front();
}

TEST_F(PlantedTree, ACleanTreePasses) {
    EXPECT_TRUE(findViolations(root, rules).empty()) << describe(findViolations(root, rules));
}

TEST_F(PlantedTree, AnUpwardIncludeIsNamedWithFileAndLine) {
    write("src/low/a.h", "#pragma once\n\n#include \"top/c.cpp\"\n");
    const auto v = findViolations(root, rules);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].file, "src/low/a.h");
    EXPECT_EQ(v[0].line, 3);
    EXPECT_EQ(v[0].reason, "src/low may not use src/top");
}

TEST_F(PlantedTree, SideBySideFoldersMayNotUseEachOther) {
    rules = parseLayerRules("layer src/low\nlayer src/mid src/top\n");
    write("src/top/c.cpp", "#include \"mid/b.h\"\n");
    const auto v = findViolations(root, rules);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].reason, "src/top may not use src/mid");
}

TEST_F(PlantedTree, AProgramUsesOnlyWhatItNames) {
    write("tool/main.cpp", "#include \"mid/b.h\"\n");
    const auto v = findViolations(root, rules);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].reason, "tool may not use src/mid");
}

TEST_F(PlantedTree, MutualIncludesAndUnknownFilesAreReported) {
    write("src/low/a.h", "#include \"mid/b.h\"\n#include \"low/missing.h\"\n");
    const auto v = findViolations(root, rules);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1].reason, "names no file of the tree");
    EXPECT_EQ(findMutualIncludes(root, rules), std::vector<std::string>{"src/low <-> src/mid"});
}

TEST(LayerRules, ReadsLevelsAlsoAndProgramLines) {
    const auto rules = parseLayerRules(
        "# comment\nlayer a\nlayer b c  # side by side\nlayer d\nalso a x\nprogram p a d\nbogus\n");
    EXPECT_EQ(rules.allowed.at("a"), (std::set<std::string>{"x"}));
    EXPECT_EQ(rules.allowed.at("c"), (std::set<std::string>{"a"}));
    EXPECT_EQ(rules.allowed.at("d"), (std::set<std::string>{"a", "b", "c"}));
    EXPECT_EQ(rules.allowed.at("p"), (std::set<std::string>{"a", "d"}));
    ASSERT_EQ(rules.errors.size(), 1u);
    EXPECT_EQ(rules.errors[0], "line 7: bogus");
}
