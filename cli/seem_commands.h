#pragma once
#include <string>
#include <vector>

#include "cli/commands.h"

namespace mdk::cli {

class Session;

// seem-bit SEEM RECORD OFFSET BIT get|set|clear|toggle
void runSeemBit(Session& s, const std::vector<std::string>& args);
// seem-discover [--write FILE]
void runSeemDiscover(Session& s, const Invocation& invocation);
// seem-functions [CSV]
void runSeemFunctions(Session& s, const std::vector<std::string>& args);

}  // namespace mdk::cli
