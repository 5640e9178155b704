// The GIF frame scanner on arbitrary bytes (checks in fuzz_checks_files.cpp).
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    return mdk::fuzz::runCheck("gif", bytes, size);
}
