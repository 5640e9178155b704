#pragma once
// The checks of the libFuzzer targets, shared by the fuzz programs and by the core test
// that replays their seed corpora and the inputs of past findings.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace mdk::fuzz {

// One target's check: runs the parser on the bytes and tests what it returned. nullptr
// when all is well, else what went wrong.
using Check = const char* (*)(std::span<const uint8_t> bytes);

struct Target {
    std::string_view name;
    Check check;
};

// Every target, in the order of targets.txt.
std::span<const Target> targets();

// The named target's check; nullptr for an unknown name.
Check checkFor(std::string_view name);

// A fuzz program's entry: runs the check and stops the process on a finding.
int runCheck(std::string_view name, const uint8_t* bytes, size_t size);

// How the seem_file check cuts its input into a seem file and the record the file is
// written into: at the fraction of the input that its last byte gives (of 256), so that
// files shorter and longer than the record both occur.
struct SeemFileCut {
    std::span<const uint8_t> file;
    std::span<const uint8_t> record;
};
SeemFileCut seemFileCut(std::span<const uint8_t> bytes);

}  // namespace mdk::fuzz
