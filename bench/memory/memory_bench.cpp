// Device memory with 10^4, 10^5 and 10^6 remembered devices and manufacturer lookups over the
// generated OUI file (known and unknown prefixes, cold and warm).
//
// After the micro-benchmarks, one report sets save and load beside plain file operations on a
// file of the same size: write+fsync beside save, reading the file into memory beside load,
// both of these in a new process as at start-up, and reading it through a small buffer for the
// kernel's share alone. It gives the memory's RAM per record, and how long the back office
// holds its lock while it saves, as seen by another thread waiting for it. The goal: save and
// load within twice the plain operations, the lock held only for a copy of the table.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "backoffice/backoffice.h"
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

// A busy site: a handful of devices run out of time between two purges.
void BM_PurgeAFewExpired(benchmark::State& state) {
    const platform::TimePoint start = platform::now();
    platform::ManualClock clock(start);
    platform::ScopedClock scoped(clock);
    backo::CBtAdMemory memory;
    fill(memory, state.range(0));
    std::uint64_t next = static_cast<std::uint64_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        clock.set(start - std::chrono::hours(24 * 31));
        for (int i = 0; i < 16; ++i) {
            memory.addIfAbsent(keyOf(next++));
        }
        clock.set(start);
        state.ResumeTiming();
        memory.purgeOlderThan(30);
    }
    state.counters["devices"] = static_cast<double>(memory.count());
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
BENCHMARK(BM_PurgeAFewExpired)
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
BENCHMARK(BM_OpenAndIndex)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameOfCold, known, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameOfCold, unknown, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameOfWarm, known, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_NameOfWarm, unknown, false)->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(BM_NameOfUnindexed, unknown, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Bytes the allocator has handed out, heap and mapped blocks together.
double allocatedBytes() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// What a program does at least to put these bytes on disk: write them and wait for the disk.
void plainWrite(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || !platform::writeAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
        throw std::runtime_error("plain write failed");
    }
    ::close(fd);
}

// What a program does at least to have a file's bytes: read them into memory.
std::size_t plainRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        throw std::runtime_error("plain read failed");
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            throw std::runtime_error("plain read failed");
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done;
}

// Only the kernel's copy: the file read through one small buffer used again and again.
std::size_t streamedRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buffer(64 * 1024);
    std::size_t total = 0;
    ssize_t n = 0;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return total;
}

// Another thread that takes the lock over and over and notes its longest wait: the longest
// stretch for which anybody else held the lock.
class LockWatcher {
  public:
    explicit LockWatcher(platform::RecursiveTimedMutex& lock)
        : watcher([this, &lock] {
              while (!done) {
                  const auto start = Clock::now();
                  lock.lock();
                  const double waited = millisecondsSince(start);
                  lock.unlock();
                  double seen = longest.load();
                  while (waited > seen && !longest.compare_exchange_weak(seen, waited)) {
                  }
                  ++rounds;
                  std::this_thread::sleep_for(std::chrono::microseconds(50));
              }
          }) {}
    ~LockWatcher() {
        done = true;
        watcher.join();
    }
    void reset() {
        settle();
        longest = 0;
    }
    // The longest wait since the last reset, once a wait still under way has been noted.
    double longestWaitMs() {
        settle();
        return longest;
    }

  private:
    void settle() {
        const unsigned start = rounds;
        while (rounds - start < 2) {
            std::this_thread::yield();
        }
    }

    std::atomic<bool> done{false};
    std::atomic<unsigned> rounds{0};
    std::atomic<double> longest{0};
    std::thread watcher;
};

struct Measured {
    double ms;
    double bytes;
};

// Measures one plain read or one load in a new run of this program and returns what it
// measured. A station loads its memory at start-up, into a process that never held that much
// memory before. In a loop inside one process, the allocator would hand each round the pages
// an earlier round had already touched, and a read into such a buffer costs no more than
// copying it. A new process gives the plain read and the load the same start: every page they
// fill is new to them.
Measured inFreshProcess(const char* what, const std::string& path) {
    const std::string command =
        "/proc/" + std::to_string(::getpid()) + "/exe --measure=" + what + " '" + path + "'";
    FILE* child = ::popen(command.c_str(), "r");
    Measured result{-1, 0};
    if (child == nullptr || std::fscanf(child, "%lf %lf", &result.ms, &result.bytes) != 2 ||
        ::pclose(child) != 0 || result.ms < 0) {
        throw std::runtime_error(std::string("measuring a ") + what + " failed");
    }
    return result;
}

// The child's side: one measurement, printed as milliseconds and bytes allocated.
int measureInThisProcess(const std::string& what, const std::string& path) {
    Measured result{-1, 0};
    const double before = allocatedBytes();
    const auto start = Clock::now();
    if (what == "read") {
        plainRead(path);
        result = {millisecondsSince(start), 0};
    } else if (what == "streamed-read") {
        streamedRead(path);
        result = {millisecondsSince(start), 0};
    } else if (what == "load") {
        backo::CBtAdMemory loaded;
        loaded.setPath(path);
        if (loaded.load()) {
            result = {millisecondsSince(start), allocatedBytes() - before};
        }
    }
    std::printf("%f %f\n", result.ms, result.bytes);
    return result.ms < 0 ? 1 : 0;
}

blto::CBtAdWCounter sightingOf(std::uint64_t device) {
    auto record = std::make_unique<NyvexSighting>();
    record->device.size = sizeof(NyvexDeviceRecord);
    record->device.address = device;
    blto::CBtAdWCounter sighting;
    sighting.setRecord(std::move(record));
    return sighting;
}

constexpr int runs = 5;

struct Figures {
    std::int64_t devices = 0;
    double fileBytes = 0;
    double plainWriteMs = 0, saveMs = 0, plainReadMs = 0, streamedReadMs = 0, loadMs = 0;
    double loadedBytesPerRecord = 0, insertedBytesPerRecord = 0, saveCopyBytesPerRecord = 0;
    double officeSaveMs = 0, lockHeldInSaveMs = 0, markServedMs = 0, lockHeldInMarkServedMs = 0;
};

void measureFiles(Figures& f, backo::CBtAdMemory& memory, const std::string& plainPath) {
    const std::string bytes = memory.serialize();
    f.fileBytes = static_cast<double>(bytes.size());
    std::vector<double> plainWrites, saves, plainReads, streamedReads, loads;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        plainWrite(plainPath, bytes);
        plainWrites.push_back(millisecondsSince(start));

        memory.lookup(keyOf(0), true);  // marks the table changed
        start = Clock::now();
        if (!memory.saveIfChanged()) {
            throw std::runtime_error("save failed: " + memory.lastError());
        }
        saves.push_back(millisecondsSince(start));

        plainReads.push_back(inFreshProcess("read", plainPath).ms);
        streamedReads.push_back(inFreshProcess("streamed-read", plainPath).ms);
        const Measured load = inFreshProcess("load", memory.path());
        loads.push_back(load.ms);
        f.loadedBytesPerRecord = load.bytes / static_cast<double>(f.devices);
    }
    f.plainWriteMs = median(plainWrites);
    f.saveMs = median(saves);
    f.plainReadMs = median(plainReads);
    f.streamedReadMs = median(streamedReads);
    f.loadMs = median(loads);
}

void measureOffice(Figures& f, const std::string& archive) {
    backo::CBackOffice office;
    office.configure(30, true, false);
    if (!office.openStore(archive)) {
        throw std::runtime_error("back office could not open " + archive);
    }
    LockWatcher watcher(office.lockForTest());
    std::vector<double> saves, savesHeld, served, servedHeld;
    for (int run = 0; run < runs; ++run) {
        office.isKnown(sightingOf(0));  // a polite lookup marks the memory changed
        watcher.reset();
        auto start = Clock::now();
        office.save();
        saves.push_back(millisecondsSince(start));
        savesHeld.push_back(watcher.longestWaitMs());

        watcher.reset();
        start = Clock::now();
        office.markServed(sightingOf(static_cast<std::uint64_t>(f.devices + run)));
        served.push_back(millisecondsSince(start));
        servedHeld.push_back(watcher.longestWaitMs());
    }
    f.officeSaveMs = median(saves);
    f.lockHeldInSaveMs = median(savesHeld);
    f.markServedMs = median(served);
    f.lockHeldInMarkServedMs = median(servedHeld);
}

Figures measure(std::int64_t devices) {
    Figures f;
    f.devices = devices;
    const std::string archive = archivePath();
    const std::string plainPath = archive + ".plain";
    const double before = allocatedBytes();
    {
        backo::CBtAdMemory memory;
        memory.setPath(archive);
        fill(memory, devices);
        f.insertedBytesPerRecord = (allocatedBytes() - before) / static_cast<double>(devices);
        const double beforeCopy = allocatedBytes();
        backo::CBtAdMemory::Snapshot copy;
        memory.takeSnapshot(copy);
        f.saveCopyBytesPerRecord = (allocatedBytes() - beforeCopy) / static_cast<double>(devices);
        measureFiles(f, memory, plainPath);
    }
    measureOffice(f, archive);
    std::filesystem::remove(archive);
    std::filesystem::remove(plainPath);
    return f;
}

void reportAgainstPlainFiles() {
    std::vector<Figures> all;
    for (const std::int64_t devices : {10000, 100000, 1000000}) {
        all.push_back(measure(devices));
    }
    std::printf(
        "\nSave and load beside plain operations on a file of the same size "
        "(median of %d runs, ms)\n",
        runs);
    std::printf("%9s %11s | %11s %8s %6s | %8s %8s %6s | %13s\n", "devices", "file bytes",
                "write+fsync", "save", "ratio", "read", "load", "ratio", "streamed read");
    for (const Figures& f : all) {
        std::printf("%9lld %11.0f | %11.2f %8.2f %6.2f | %8.2f %8.2f %6.2f | %13.2f\n",
                    static_cast<long long>(f.devices), f.fileBytes, f.plainWriteMs, f.saveMs,
                    f.saveMs / f.plainWriteMs, f.plainReadMs, f.loadMs, f.loadMs / f.plainReadMs,
                    f.streamedReadMs);
    }
    std::printf("\nBack office: the lock as another thread waits for it (median of %d runs, ms)\n",
                runs);
    std::printf("%9s | %8s %12s | %11s %12s\n", "devices", "save", "lock held", "markServed",
                "lock held");
    for (const Figures& f : all) {
        std::printf("%9lld | %8.2f %12.2f | %11.2f %12.2f\n", static_cast<long long>(f.devices),
                    f.officeSaveMs, f.lockHeldInSaveMs, f.markServedMs, f.lockHeldInMarkServedMs);
    }
    std::printf(
        "\nRAM, bytes per record: the memory loaded from its archive or grown by "
        "insertion, and the back office's copy for saving\n");
    std::printf("%9s | %8s %18s %10s\n", "devices", "loaded", "grown by insertion", "save copy");
    for (const Figures& f : all) {
        std::printf("%9lld | %8.1f %18.1f %10.1f\n", static_cast<long long>(f.devices),
                    f.loadedBytesPerRecord, f.insertedBytesPerRecord, f.saveCopyBytesPerRecord);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string measureFlag = "--measure=";
    if (argc == 3 && std::string(argv[1]).starts_with(measureFlag)) {
        return measureInThisProcess(argv[1] + measureFlag.size(), argv[2]);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    reportAgainstPlainFiles();
    return 0;
}
