#pragma once
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// seem-diff A B [--json] [--csv FILE]: A and B each a backup folder, a seem file or
// @phone. Exit 0 when the records are the same, 1 when they differ, 2 on trouble.
void runSeemDiff(Session& session, const std::vector<std::string>& args);

}  // namespace mdk::cli
