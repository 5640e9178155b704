// The phone file catalogue at 50,000 records: loading it from the in-process phone (search
// start and search-next blocks of 7 records of 268 bytes), listing its busiest folder, and
// the memory it holds against the bytes that came over the wire.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_phone.h"

namespace mdk::bench {
namespace {

constexpr int kFiles = 50000;
constexpr int kMostFiles = 65534;  // the most a search start can announce
constexpr int kFolders = 300;
constexpr int kBusiestFiles = 5000;  // in folder 000; the rest spread over the others
constexpr const char* kBusiestFolder = "/b/mobile/folder_000/";

std::string folderName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "/b/mobile/folder_%03d/", n);
    return name;
}

// files files in 300 folders of /b, the first holding 5,000; file sizes 0 to 99 bytes.
void fillPhone(sim::PhoneModel& model, int files) {
    model.setListFolders(false);  // a phone's file search lists files only
    for (int i = 0; i < files; ++i) {
        const int folder = i < kBusiestFiles ? 0 : 1 + i % (kFolders - 1);
        char name[48];
        std::snprintf(name, sizeof name, "picture_%05d.jpg", i);
        model.addFile(folderName(folder) + name, std::vector<uint8_t>(size_t(i % 100), 0x42));
    }
}

// A phone with 50,000 (or files) files, probed, its catalogue of /b loaded once.
class LoadedPhone {
public:
    explicit LoadedPhone(int files = kFiles) : files_(files) {
        fillPhone(phone.model, files);
        phone.context.commands.probeCommandSet();
        catalogue().setCurrentVolume("/b");
    }
    bool load() {
        catalogue().loadCatalogue();
        return catalogue().catalogueRecords() == uint32_t(files_);
    }
    Catalogue& catalogue() { return phone.context.catalogue; }

    BenchPhone phone;

private:
    int files_;
};

void loadRepeatedly(benchmark::State& state, int files) {
    LoadedPhone phone(files);
    for (auto _ : state) {
        if (!phone.load()) {
            state.SkipWithError("the catalogue did not get every record");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * files);
    state.counters["records"] = files;
    state.counters["records_per_s"] =
        benchmark::Counter(double(state.iterations()) * files, benchmark::Counter::kIsRate);
}

void BM_CatalogueLoad50k(benchmark::State& state) {
    loadRepeatedly(state, kFiles);
}
BENCHMARK(BM_CatalogueLoad50k)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_CatalogueLoad65534(benchmark::State& state) {
    loadRepeatedly(state, kMostFiles);
    state.SetLabel("goal: at most 200 ms");
}
BENCHMARK(BM_CatalogueLoad65534)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_ListBusiestFolder(benchmark::State& state) {
    LoadedPhone phone;
    if (!phone.load()) {
        state.SkipWithError("the catalogue did not get every record");
        return;
    }
    size_t rows = 0;
    for (auto _ : state) {
        auto listed = phone.catalogue().listFolder(kBusiestFolder);
        rows = listed.size();
        benchmark::DoNotOptimize(listed.data());
    }
    if (rows != kBusiestFiles) state.SkipWithError("the busiest folder lost rows");
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["catalogue_records"] = kFiles;
    state.SetLabel("goal: under 2 ms");
}
BENCHMARK(BM_ListBusiestFolder)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

// Not a timing: the catalogue's memory against its wire size (records x stride plus a
// 4-byte header per search-next block), after one load.
void BM_CatalogueMemory50k(benchmark::State& state) {
    LoadedPhone phone;
    for (auto _ : state) {
        if (!phone.load()) {
            state.SkipWithError("the catalogue did not get every record");
            return;
        }
    }
    const sim::SearchSettings settings = phone.phone.model.searchSettings();
    const Catalogue& catalogue = phone.catalogue();
    const double blocks = (kFiles + settings.recordsPerBlock - 1) / settings.recordsPerBlock;
    const double wire = double(kFiles) * catalogue.recordStride() + blocks * 4;
    if (catalogue.catalogueBytes() != wire) state.SkipWithError("the blocks are not as sent");
    const double memory = static_cast<double>(catalogue.memoryBytes());
    state.counters["stride"] = catalogue.recordStride();
    state.counters["wire_MiB"] = wire / (1 << 20);
    state.counters["memory_MiB"] = memory / (1 << 20);
    state.counters["memory_per_wire"] = memory / wire;
    state.SetLabel("goal: memory_per_wire <= 2");
}
BENCHMARK(BM_CatalogueMemory50k)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace mdk::bench
