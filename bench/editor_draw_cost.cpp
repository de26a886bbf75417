// What the editor costs the host's user-interface thread, as a share of
// one 25 Hz idle period (40 ms): a full redraw of the frame (every page's
// controls drawn into the back buffer) and an idle call in which nothing
// changed. The baseline, measured in the same run, is a plain copy of the
// 623 x 365 back buffer (what presenting a full frame moves).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "editor/LinkEditor.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempSettings.h"
#include "trvcore/plugin/LinkPlugin.h"

namespace {

constexpr double kIdlePeriodNs = 40e6;

struct OpenEditor {
    OpenEditor() {
        effect = host.create();
        plugin = static_cast<LinkPlugin*>(static_cast<AudioEffect*>(effect->object));
        editor.reset(new editor::LinkEditor(plugin));
        editor->open(nullptr);
        editor->idle();
    }
    ~OpenEditor() {
        editor->close();
        editor.reset();
        host.close(effect);
    }
    TempSettings settings;
    FakeHost host;
    AEffect* effect = nullptr;
    LinkPlugin* plugin = nullptr;
    std::unique_ptr<editor::LinkEditor> editor;
};

double nowNs() {
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Nanoseconds one copy of a full back buffer takes, median of 9 runs of 50.
double frameCopyNs() {
    std::vector<uint8_t> from(editor::LinkEditor::kWidth * editor::LinkEditor::kHeight * 4, 7), to(from.size());
    std::vector<double> runs;
    for (int r = 0; r < 9; ++r) {
        const double t0 = nowNs();
        for (int i = 0; i < 50; ++i) {
            std::memcpy(to.data(), from.data(), from.size());
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        }
        runs.push_back((nowNs() - t0) / 50);
    }
    std::sort(runs.begin(), runs.end());
    return runs[4];
}

// Per iteration: the share of a 25 Hz idle period and the multiple of one
// full back-buffer copy.
template <typename F>
void timed(benchmark::State& state, F step) {
    const double copy = frameCopyNs();
    double spent = 0;
    for (auto _ : state) {
        const double t0 = nowNs();
        step();
        spent += nowNs() - t0;
    }
    const double each = spent / static_cast<double>(state.iterations());
    state.counters["share_of_25Hz_frame"] = each / kIdlePeriodNs;
    state.counters["vs_frame_copy"] = each / copy;
}

void BM_FullRedraw(benchmark::State& state) {
    OpenEditor e;
    e.editor->selectPage(static_cast<int>(state.range(0)), true);
    timed(state, [&] {
        e.editor->frame()->invalidateAll();
        benchmark::DoNotOptimize(e.editor->render());
    });
}

void BM_IdleWithNothingChanged(benchmark::State& state) {
    OpenEditor e;
    timed(state, [&] { e.editor->idle(); });
}

}  // namespace

BENCHMARK(BM_FullRedraw)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_IdleWithNothingChanged);
BENCHMARK_MAIN();
