// Cost of one settings change: the record is encoded and the file replaced atomically
// (temporary file, fsync, rename, folder fsync). The panel makes such a change on the
// main thread for every language choice, so it must stay far below a frame.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "core/settings/ConfigStore.h"
#include "core/settings/SettingsFileCodec.h"

namespace {

std::filesystem::path benchFolder() {
    // Beside the benchmark binary, on the disk the user's files would live on (not /tmp).
    auto dir = std::filesystem::current_path() / "config-store-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

void BM_UpdateAndSave(benchmark::State& state) {
    vela::ConfigStore store(benchFolder() / "config.json");
    int i = 0;
    for (auto _ : state) {
        store.update([&](vela::VelaConfig& c) { c.sourceLanguage = std::to_string(++i % 5); });
    }
}
BENCHMARK(BM_UpdateAndSave)->Unit(benchmark::kMicrosecond);

void BM_EncodeOnly(benchmark::State& state) {
    vela::VelaConfig config;
    for (auto _ : state)
        benchmark::DoNotOptimize(vela::encodeSettingsFile(config));
}
BENCHMARK(BM_EncodeOnly)->Unit(benchmark::kMicrosecond);

void BM_DecodeOnly(benchmark::State& state) {
    std::string text = vela::encodeSettingsFile(vela::VelaConfig{});
    for (auto _ : state)
        benchmark::DoNotOptimize(vela::decodeSettingsFile(text));
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
