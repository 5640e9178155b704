#include "panes/copy_cases.h"

namespace mdk {

namespace {

int bySide(Side active, int left, int right) {
    return active == Side::Left ? left : right;
}

}  // namespace

CopyPlan planCopy(LocationKind source, LocationKind destination, Side active) {
    using K = LocationKind;
    const bool destinationPc = destination == K::Pc;
    const bool sourcePc = source == K::Pc;
    if (sourcePc && destinationPc) return {CopyCase::PcToPc, std::nullopt, true};
    if (source == K::PhoneVolume && destination == K::PhoneVolume) {
        return {CopyCase::PhoneToPhone, bySide(active, 51, 52), false};
    }
    if (source == K::PhoneVolume) {
        return {CopyCase::Download, bySide(active, 49, 50), destinationPc};
    }
    if (destination == K::PhoneVolume) {
        return {CopyCase::Upload, bySide(active, 47, 48), sourcePc};
    }
    if (source == K::SeemFolder) return {CopyCase::SeemDownload, std::nullopt, destinationPc};
    return {CopyCase::SeemUpload, std::nullopt, sourcePc};
}

}  // namespace mdk
