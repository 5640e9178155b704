#pragma once
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// backup DIR [--discover] | backup --verify DIR
void runBackupCommand(Session& session, const std::vector<std::string>& args);
// restore DIR [--files] [--seems] [--dry-run] [--yes] [--force-model]
void runRestoreCommand(Session& session, const std::vector<std::string>& args);

}  // namespace mdk::cli
