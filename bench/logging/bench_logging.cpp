// The cost of a logging call whose channel has no sink at that level, and of a call that a
// file sink writes. A disabled call must also allocate nothing: the counter
// "allocations_per_call" shows it.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "common/debug/FileSink.h"
#include "common/debug/Log.h"

TOV_DEFINE_LOG_CHANNEL(BenchDisabled);
TOV_DEFINE_LOG_CHANNEL(BenchFile);

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The counting allocator pairs malloc with free; GCC cannot see that through the replacement.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

static void BM_DisabledCall(benchmark::State& state) {
    const long before = g_allocations.load();
    int i = 0;
    for (auto _ : state) {
        TOV_LOG_DEBUG(BenchDisabled, "package %d of %s", i, "catalogue");
        benchmark::DoNotOptimize(++i);
    }
    state.counters["allocations_per_call"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_DisabledCall);

static void BM_FileSinkCall(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "tov-bench-logging.log";
    std::filesystem::remove(path);
    {
        common::debug::FileSink sink(path.string());
        common::debug::Attach(sink, "BenchFile", common::debug::kLogDebug);
        int i = 0;
        for (auto _ : state) {
            TOV_LOG_INFO(BenchFile, "package %d of %s", i, "catalogue");
            ++i;
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_FileSinkCall);

BENCHMARK_MAIN();
