#include "session/sequencepreview.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace trq {

namespace {

// The moments a preview follows at most: a million steps are planned in
// well under a second.
constexpr qint64 kMaxMoments = 2'000'000;

struct Thinned {
    std::size_t trace;
    qint64 slice = -1;
    // The slice's points so far: lowest, highest and last, by time.
    std::optional<std::pair<qint64, double>> low, high, last;
};

} // namespace

SequencePreview sequencePreview(const Sequence& sequence, qint64 tickMs,
                                const SequencePlan::Values& start, std::size_t maxPoints) {
    SequencePreview preview;
    preview.conditional = sequence.conditional();
    const qint64 sliceMs =
        std::max<qint64>(1, sequence.plannedMs() / std::max<qint64>(1, qint64(maxPoints) / 3));
    std::map<std::tuple<QString, int, bool>, Thinned> thinned;
    auto emitSlice = [&](Thinned& t) {
        std::vector<std::pair<qint64, double>> points;
        for (const auto& p : {t.low, t.high, t.last})
            if (p && std::find(points.begin(), points.end(), *p) == points.end())
                points.push_back(*p);
        std::sort(points.begin(), points.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        SequencePreview::Trace& trace = preview.traces[t.trace];
        for (const auto& [ms, value] : points) {
            trace.seconds.push_back(double(ms) / 1000.0);
            trace.values.push_back(value);
        }
        t.low = t.high = t.last = std::nullopt;
    };
    auto add = [&](const PlannedSet& set, qint64 atMs) {
        const bool current = set.what == PlannedSet::What::Current;
        auto [it, added] = thinned.try_emplace({set.supply, set.channel, current});
        Thinned& t = it->second;
        if (added) {
            t.trace = preview.traces.size();
            preview.traces.push_back({set.supply, set.channel, current, {}, {}});
            // It holds what it was set to before the run until the run sets it.
            const auto s = start.find(set.supply);
            const std::size_t c = std::size_t(std::clamp(set.channel, 1, 4) - 1);
            const double before = s == start.end() ? 0.0 : s->second[c][current ? 1 : 0];
            if (atMs > 0) {
                preview.traces.back().seconds.push_back(0);
                preview.traces.back().values.push_back(before);
            }
        }
        const qint64 slice = atMs / sliceMs;
        if (slice != t.slice) {
            emitSlice(t);
            t.slice = slice;
        }
        const std::pair<qint64, double> point{atMs, set.value};
        if (!t.low || set.value < t.low->second)
            t.low = point;
        if (!t.high || set.value > t.high->second)
            t.high = point;
        t.last = point;
    };

    SequencePlan plan(sequence, tickMs, start);
    qint64 moments = 0;
    while (std::optional<PlannedMoment> m = plan.next()) {
        for (const PlannedSet& set : m->sets)
            if (set.what != PlannedSet::What::Output)
                add(set, m->atMs);
        preview.endMs = m->atMs;
        if (++moments == kMaxMoments) {
            preview.cut = true;
            break;
        }
    }
    if (!preview.cut)
        preview.endMs = plan.endMs();
    for (auto& [key, t] : thinned) {
        emitSlice(t);
        // Drawn to the end, at the value it holds last.
        SequencePreview::Trace& trace = preview.traces[t.trace];
        if (!trace.values.empty() && trace.seconds.back() < double(preview.endMs) / 1000.0) {
            trace.seconds.push_back(double(preview.endMs) / 1000.0);
            trace.values.push_back(trace.values.back());
        }
    }
    std::sort(preview.traces.begin(), preview.traces.end(), [](const auto& a, const auto& b) {
        return std::tie(a.supply, a.channel, a.current) < std::tie(b.supply, b.channel, b.current);
    });
    return preview;
}

} // namespace trq
