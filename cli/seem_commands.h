#pragma once
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// seem-bit SEEM RECORD OFFSET BIT get|set|clear|toggle
void runSeemBit(Session& s, const std::vector<std::string>& args);
// seem-discover [--write FILE]
void runSeemDiscover(Session& s, const std::vector<std::string>& args);
// seem-functions [CSV]
void runSeemFunctions(Session& s, const std::vector<std::string>& args);

}  // namespace mdk::cli
