#pragma once
#include "cli/commands.h"

namespace mdk::cli {

class Session;

// backup DIR [--discover] | backup --verify DIR
void runBackupCommand(Session& session, const Invocation& invocation);
// restore DIR [--files] [--seems] [--dry-run] [--yes] [--force-model]
void runRestoreCommand(Session& session, const Invocation& invocation);

}  // namespace mdk::cli
