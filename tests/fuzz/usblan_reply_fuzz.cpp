// The USBLAN reply reading on an arbitrary socket stream (checks in fuzz_checks_phone.cpp).
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    return mdk::fuzz::runCheck("usblan_reply", bytes, size);
}
