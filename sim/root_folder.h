#pragma once
#include <string>
#include <vector>

#include "sim/phone_model.h"

namespace mdk::sim {

// Replaces the phone's volumes and files by the contents of a folder on disk. For a P2k
// phone every top-level one-letter folder DIR/x becomes volume /x; a Linux phone takes
// DIR/ezxlocal, DIR/usr/data_resource and DIR/mmc/mmca1 as its volumes. Files get the
// attribute word kFileAttributes. The folder on disk is only read, never changed.
// Symbolic links, special files, unusable names and files above 64 MiB are skipped with a
// warning. False with error set when DIR cannot be read, holds no volume, or holds more
// than 512 MiB.
bool loadRootFolder(PhoneModel& model, const std::string& dir, std::string& error,
                    std::vector<std::string>& warnings);

}  // namespace mdk::sim
