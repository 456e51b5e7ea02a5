// Device memory with 10^4, 10^5 and 10^6 remembered devices (lookup, purge, save, load and the
// archive's size against its 80-bytes-a-record floor) and manufacturer lookups over the
// generated OUI file (known and unknown prefixes, cold and warm).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "memory/btadmemory.h"
#include "memory/manufacturer.h"
#include "memory/recordtexts.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

std::string keyOf(std::uint64_t device) {
    NyvexSighting record{};
    record.device.address = device;
    static thread_local backo::CBtAdWrapper wrapper;
    return wrapper.memoryKey(record);
}

std::string archivePath() {
    return (std::filesystem::temp_directory_path() /
            ("nyvex-bench-" + std::to_string(::getpid()) + ".arc"))
        .string();
}

void fill(backo::CBtAdMemory& memory, std::int64_t devices) {
    for (std::int64_t i = 0; i < devices; ++i) {
        memory.addIfAbsent(keyOf(static_cast<std::uint64_t>(i)));
    }
}

void BM_Lookup(benchmark::State& state) {
    backo::CBtAdMemory memory;
    fill(memory, state.range(0));
    std::vector<std::string> probes;
    for (int i = 0; i < 1000; ++i) {
        probes.push_back(keyOf(static_cast<std::uint64_t>(i * 2)));  // half of them unknown
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(memory.lookup(probes[next++ % probes.size()], false));
    }
}

void BM_PurgeNothingExpired(benchmark::State& state) {
    backo::CBtAdMemory memory;
    fill(memory, state.range(0));
    for (auto _ : state) {
        memory.purgeOlderThan(30);
    }
    state.counters["devices"] = static_cast<double>(memory.count());
}

void BM_PurgeEverything(benchmark::State& state) {
    platform::ManualClock clock(platform::now());
    platform::ScopedClock scoped(clock);
    for (auto _ : state) {
        state.PauseTiming();
        backo::CBtAdMemory memory;
        fill(memory, state.range(0));
        clock.advance(std::chrono::hours(24 * 31));
        state.ResumeTiming();
        memory.purgeOlderThan(30);
    }
}

void BM_Save(benchmark::State& state) {
    backo::CBtAdMemory memory;
    memory.setPath(archivePath());
    fill(memory, state.range(0));
    for (auto _ : state) {
        memory.removeAll();  // marks changed; refill outside the timing
        state.PauseTiming();
        fill(memory, state.range(0));
        state.ResumeTiming();
        if (!memory.saveIfChanged()) {
            state.SkipWithError(memory.lastError().c_str());
        }
    }
    const double bytes = static_cast<double>(platform::fileSize(memory.path()).value_or(0));
    state.counters["fileBytes"] = bytes;
    state.counters["bytesPerRecord"] = bytes / static_cast<double>(state.range(0));
    state.counters["overFloor"] = bytes - 80.0 * static_cast<double>(state.range(0));
    std::filesystem::remove(memory.path());
}

void BM_Load(benchmark::State& state) {
    const std::string path = archivePath();
    {
        backo::CBtAdMemory memory;
        memory.setPath(path);
        fill(memory, state.range(0));
        memory.saveIfChanged();
    }
    for (auto _ : state) {
        auto memory = std::make_unique<backo::CBtAdMemory>();
        memory->setPath(path);
        if (!memory->load()) {
            state.SkipWithError("load failed");
        }
        state.PauseTiming();
        memory.reset();  // freeing the table is not part of the load
        state.ResumeTiming();
    }
    std::filesystem::remove(path);
}

std::vector<std::uint32_t> prefixes(bool known) {
    CManufacturer probe;
    probe.open(NYVEX_MANUFACTURER_FILE);
    std::mt19937 random(1056);
    std::vector<std::uint32_t> chosen;
    while (chosen.size() < 1000) {
        const std::uint32_t oui = random() & 0xFFFFFF;
        if (probe.nameOf(oui).empty() != known) {
            chosen.push_back(oui);
        }
    }
    return chosen;
}

// One iteration: open the file and look up 1000 prefixes (cold: empty cache), then look them
// up again (warm) in the second benchmark.
void BM_NameOfCold(benchmark::State& state, bool known) {
    const std::vector<std::uint32_t> ouis = prefixes(known);
    for (auto _ : state) {
        CManufacturer table;
        table.open(NYVEX_MANUFACTURER_FILE);
        for (const std::uint32_t oui : ouis) {
            benchmark::DoNotOptimize(table.nameOf(oui));
        }
    }
    state.counters["perLookup"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1000,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_NameOfWarm(benchmark::State& state, bool known) {
    const std::vector<std::uint32_t> ouis = prefixes(known);
    CManufacturer table;
    table.open(NYVEX_MANUFACTURER_FILE);
    for (const std::uint32_t oui : ouis) {
        table.nameOf(oui);
    }
    for (auto _ : state) {
        for (const std::uint32_t oui : ouis) {
            benchmark::DoNotOptimize(table.nameOf(oui));
        }
    }
    state.counters["perLookup"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1000,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// For comparison: the same table when its index could not be built, searching every window.
class UnindexedManufacturer : public CManufacturer {
  protected:
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        if (!indexRefused) {
            indexRefused = true;
            throw std::runtime_error("no index");
        }
        return CManufacturer::readAt(offset, buffer, size);
    }

  private:
    bool indexRefused = false;
};

void BM_NameOfUnindexed(benchmark::State& state, bool known) {
    const std::vector<std::uint32_t> ouis = prefixes(known);
    UnindexedManufacturer table;
    table.open(NYVEX_MANUFACTURER_FILE);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.nameOf(ouis[next++ % ouis.size()]));
    }
}

void BM_OpenAndIndex(benchmark::State& state) {
    for (auto _ : state) {
        CManufacturer table;
        table.open(NYVEX_MANUFACTURER_FILE);
        benchmark::DoNotOptimize(table.isOpen());
    }
}

}  // namespace

BENCHMARK(BM_Lookup)->Arg(10000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_PurgeNothingExpired)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PurgeEverything)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Save)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Load)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_OpenAndIndex)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameOfCold, known, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameOfCold, unknown, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameOfWarm, known, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_NameOfWarm, unknown, false)->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(BM_NameOfUnindexed, unknown, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

BENCHMARK_MAIN();
