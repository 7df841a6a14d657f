#include "host/run/run_stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include "host/run/graph_run.h"
#include "host/engine/vento_engine.h"

namespace vento {

std::size_t LogHistogram::binOf(std::uint64_t value) noexcept
{
    if (value < 32) return std::size_t(value);
    const int octave = 63 - std::countl_zero(value); // 5 and up
    const std::uint64_t step = (value >> (octave - 5)) & 31;
    return 32 + std::size_t(octave - 5) * 32 + std::size_t(step);
}

std::uint64_t LogHistogram::binLow(std::size_t bin) noexcept
{
    if (bin < 32) return bin;
    const std::size_t octave = (bin - 32) / 32 + 5, step = (bin - 32) % 32;
    return (std::uint64_t(32) + step) << (octave - 5);
}

void LogHistogram::add(std::uint64_t value) noexcept
{
    ++bins_[binOf(value)];
    ++count_;
    sum_ += value;
    max_ = std::max(max_, value);
}

double LogHistogram::quantile(double q) const noexcept
{
    if (count_ == 0) return 0.0;
    const auto wanted = std::max<std::uint64_t>(1, std::uint64_t(std::ceil(q * double(count_))));
    std::uint64_t seen = 0;
    for (std::size_t b = 0; b < kBins; ++b) {
        seen += bins_[b];
        if (seen < wanted) continue;
        if (b < 32) return double(b);
        const double low = double(binLow(b)), high = b + 1 < kBins ? double(binLow(b + 1)) : low * 2;
        return std::min((low + high - 1) / 2, double(max_));
    }
    return double(max_);
}

RunStats::RunStats(const Engine& engine) : engine_(engine)
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond_ = double(frequency.QuadPart);
    clockTicksPerMs_ = double(engine.clock().frequency()) / 1000.0;
    entries_.reserve(engine.instances().size());
    for (const auto& instance : engine.instances()) {
        byInstance_[instance.get()] = entries_.size();
        byCore_[instance->core] = entries_.size();
        Entry& e = entries_.emplace_back();
        e.instance = instance.get();
        e.source = instance->core->sources().empty() && !instance->core->outputs().empty();
    }
}

void RunStats::processed(const Instance& instance, LONGLONG ticks)
{
    auto it = byInstance_.find(&instance);
    if (it != byInstance_.end()) entries_[it->second].times.add(std::uint64_t(std::max<LONGLONG>(ticks, 0)));
}

void RunStats::sent(const ModuleCore& core, const OutputPin& out, LONGLONG now)
{
    auto it = byCore_.find(&core);
    if (it == byCore_.end() || !entries_[it->second].source) return;
    Schedule& s = entries_[it->second].schedule;
    if (s.pin && s.pin != &out) return;
    const long rate = samplesPerSecond(out.props());
    if (rate <= 0 || out.size() <= 0) return; // not paced (yet): it states no rate
    const LONGLONG interval =
        LONGLONG(out.size()) * engine_.clock().frequency() / rate;
    if (interval <= 0) return;
    s.pin = &out;
    if (interval != s.interval || s.sent == 0) {
        closeSegment(s);
        s.interval = interval;
        s.first = now;
        s.sent = 0;
    }
    s.offsets.push_back(now - s.first - LONGLONG(s.sent) * s.interval);
    ++s.sent;
}

void RunStats::closeSegment(Schedule& s) const
{
    if (s.offsets.empty()) return;
    // The anchor: the block sent most nearly on time is 0 late.
    const LONGLONG anchor = *std::min_element(s.offsets.begin(), s.offsets.end());
    for (LONGLONG offset : s.offsets) s.lateMs.push_back(double(offset - anchor) / clockTicksPerMs_);
    s.offsets.clear();
}

std::vector<ModuleStats> RunStats::report() const
{
    std::vector<ModuleStats> all;
    for (const Entry& e : entries_) {
        ModuleStats m;
        m.name = e.instance->name;
        m.blocks = blocksSent(*e.instance);
        m.calls = long(e.times.count());
        const double usPerTick = 1e6 / ticksPerSecond_;
        m.meanUs = e.times.mean() * usPerTick;
        m.p99Us = e.times.quantile(0.99) * usPerTick;
        if (e.source && e.schedule.pin) {
            Schedule s = e.schedule;
            closeSegment(s);
            std::vector<double>& late = s.lateMs;
            Lateness l;
            l.blocks = long(late.size());
            if (!late.empty()) {
                double sum = 0;
                long within = 0;
                for (double ms : late) {
                    sum += ms;
                    within += ms <= 1.0;
                }
                std::sort(late.begin(), late.end());
                l.meanMs = sum / double(late.size());
                l.p99Ms = late[std::min(late.size() - 1, size_t(std::ceil(0.99 * double(late.size()))) - 1)];
                l.maxMs = late.back();
                l.withinOneMs = double(within) / double(late.size());
            }
            m.lateness = l;
        }
        all.push_back(std::move(m));
    }
    return all;
}

} // namespace vento
