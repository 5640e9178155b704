#pragma once
#include "cli/commands.h"

namespace mdk::cli {

class Session;

// "run PACKAGE.mrdk [--allow-shell]": runs a batch package headless with the engine of the
// batch dialog. Every line runs; "##" lines only with --allow-shell. Fails (exit code 1)
// when the phone is not connected or any command line failed or was refused, each named
// on stderr.
void runPackage(Session& session, const Invocation& invocation);

}  // namespace mdk::cli
