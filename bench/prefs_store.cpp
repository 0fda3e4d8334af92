// The preferences store's file operations: Load and FlushXml of the file
// format's example (two device types, two buttons each) and of a large file
// of 1,000 device records with 100 button mappings each.

#include "prefs/APrefController.h"

#include "tests/support/ATestPaths.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

std::string MappingPath(const ATemporaryFolder& folder)
{
    return (folder.Path() / "mapping.xml").string();
}

void FillExample(APrefController& store)
{
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, kProductBTMouse, 0);
    store.AddOrUpdateEvent(kDeviceBTMouse, kButtonBack, kLaunchAppleScript, "/Library/Scripts/Back.scpt");
    store.AddOrUpdateEvent(kDeviceBTMouse, kButtonForward, kLaunchKeystroke, "55|8");
    store.AddOrUpdateDevice(kDevicePresenter, kVendorID, kProductPresenter, 1);
    store.AddOrUpdateEvent(kDevicePresenter, kButtonBack, kLaunchDefault, std::nullopt);
    store.AddOrUpdateEvent(kDevicePresenter, kButtonForward, kLaunchDefault, std::nullopt);
}

// Device types beyond the three are written under the name of type 0, so
// the file holds 1,000 device elements; loading it files them under the
// three types, the later winning, after reading every one of them.
void FillLarge(APrefController& store)
{
    for (EDeviceType type = 0; type < 1000; ++type) {
        store.AddOrUpdateDevice(type, kVendorID, kProductRFMouse, type % 2);
        for (int32_t id = 0; id < 100; ++id) {
            if (id % 2 == 0)
                store.AddOrUpdateEvent(type, id, kLaunchKeystroke, "59|56|" + std::to_string(id) + "|56|59");
            else
                store.AddOrUpdateEvent(type, id, kLaunchExec, "/usr/share/applications/app-" + std::to_string(id) + ".desktop");
        }
    }
}

void RunLoad(benchmark::State& state, void (*fill)(APrefController&))
{
    ATemporaryFolder folder;
    {
        APrefController writer(MappingPath(folder));
        fill(writer);
        writer.FlushXml();
    }
    APrefController store(MappingPath(folder));
    for (auto _ : state) {
        store.Load();
        benchmark::DoNotOptimize(store.GetDevices().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(MappingPath(folder))));
}

void RunFlush(benchmark::State& state, void (*fill)(APrefController&))
{
    ATemporaryFolder folder;
    APrefController store(MappingPath(folder));
    fill(store);
    for (auto _ : state)
        store.FlushXml();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(MappingPath(folder))));
}

void BM_LoadExample(benchmark::State& state) { RunLoad(state, FillExample); }
void BM_FlushXmlExample(benchmark::State& state) { RunFlush(state, FillExample); }
void BM_LoadLarge(benchmark::State& state) { RunLoad(state, FillLarge); }
void BM_FlushXmlLarge(benchmark::State& state) { RunFlush(state, FillLarge); }

} // namespace

BENCHMARK(BM_LoadExample);
BENCHMARK(BM_FlushXmlExample);
BENCHMARK(BM_LoadLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlushXmlLarge)->Unit(benchmark::kMillisecond);
