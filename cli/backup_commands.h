#pragma once
#include <string>
#include <vector>

#include "backup/backup_phone.h"

namespace mdk::cli {

class Session;

// The session's phone as the backup runs take it.
BackupPhone phoneOf(Session& session);

// backup DIR [--discover] [--seems-only] | backup --verify DIR
void runBackupCommand(Session& session, const std::vector<std::string>& args);
// restore DIR [--files] [--seems] [--dry-run] [--yes] [--force-model]
void runRestoreCommand(Session& session, const std::vector<std::string>& args);

}  // namespace mdk::cli
