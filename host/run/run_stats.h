#pragma once
// What `vento run --stats` measures, per module: the blocks it sent, its Process calls and the time
// each call took, and for a paced source (a module fed by nothing whose output document states its
// sample rate) how late each block was sent against its due time.
//
// Due times: one block lasts size x counter frequency / samples per second ticks, as the sources
// pace themselves. Block k of a run is due at anchor + k x interval, where the anchor is chosen so
// that the block sent most nearly on time counts as 0 late and none counts as early: the schedule
// a source keeps is not visible from outside, and its best block shows where it lies. A change of
// block size or rate starts a new schedule.
//
//   vento::RunStats stats(engine);
//   engine.setProcessObserver([&](const Instance& i, LONGLONG t) { stats.processed(i, t); });
//   ... and stats.sent(core, out, engine.clock().now()) from the send observer; after the run:
//   for (const vento::ModuleStats& m : stats.report()) ...
#include <windows.h>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vento {

class Engine;
struct Instance;
class ModuleCore;
class OutputPin;

// Counts of non-negative values in constant memory: exact below 32, then 32 bins per octave (each
// bin within about 2% of its values). Quantiles are answered with the middle of their bin.
class LogHistogram {
public:
    void add(std::uint64_t value) noexcept;
    std::uint64_t count() const noexcept { return count_; }
    double mean() const noexcept { return count_ ? double(sum_) / double(count_) : 0.0; }
    std::uint64_t max() const noexcept { return max_; }
    // The value below which the share q (0..1) of the values lie; 0 when empty.
    double quantile(double q) const noexcept;

    static std::size_t binOf(std::uint64_t value) noexcept;
    // The values bin b holds: [low, high).
    static std::uint64_t binLow(std::size_t bin) noexcept;

private:
    static constexpr std::size_t kBins = 32 + 59 * 32;
    std::array<std::uint64_t, kBins> bins_{};
    std::uint64_t count_ = 0, sum_ = 0, max_ = 0;
};

struct Lateness {
    long blocks = 0;
    double meanMs = 0, p99Ms = 0, maxMs = 0;
    double withinOneMs = 0; // the share, 0..1, sent at most 1 ms after their due time
};

struct ModuleStats {
    std::wstring name;
    long blocks = 0;         // the most any of its outputs sent
    long calls = 0;          // Process calls
    double meanUs = 0, p99Us = 0; // time per Process call
    std::optional<Lateness> lateness; // paced sources only
};

class RunStats {
public:
    // Every instance of the engine at this time; those fed by nothing are watched for pacing.
    explicit RunStats(const Engine& engine);

    // From the engine's process observer.
    void processed(const Instance& instance, LONGLONG ticks);
    // From the engine's send observer; `now` is the engine clock's time of the send.
    void sent(const ModuleCore& core, const OutputPin& out, LONGLONG now);

    // Per module in order of creation.
    std::vector<ModuleStats> report() const;

private:
    struct Schedule {
        const OutputPin* pin = nullptr; // the first output that sent with a stated rate
        LONGLONG interval = 0;
        LONGLONG first = 0;  // the segment's first send
        long sent = 0;       // blocks in the segment
        std::vector<LONGLONG> offsets; // send - (first + k x interval), per block
        std::vector<double> lateMs;    // finished segments
    };
    struct Entry {
        const Instance* instance;
        LogHistogram times; // ticks per Process call
        bool source = false;
        Schedule schedule;
    };
    void closeSegment(Schedule& s) const;

    const Engine& engine_;
    double ticksPerSecond_;
    double clockTicksPerMs_;
    std::vector<Entry> entries_;
    std::unordered_map<const Instance*, std::size_t> byInstance_;
    std::unordered_map<const ModuleCore*, std::size_t> byCore_;
};

} // namespace vento
