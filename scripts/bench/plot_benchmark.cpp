// Google Benchmark of the plotting stage on 10 million points: layout (positions laid end to end and
// scaled, scales, ticks), painting (lines and texts, then every point written into the pixels) and the
// JPEG file; the paper figure at 2400 x 1600 (layout, and each image type). Built and run by
// scripts/plot_benchmark.sh; not a test.
#include <benchmark/benchmark.h>

#include <QFont>
#include "figure/offscreen.h"
#include <cmath>
#include <random>
#include <string>

#include "output/image_writer.h"
#include "paper/paper_layout.h"
#include "classic/plot_layout.h"
#include "classic/plot_renderer.h"

using namespace vennrick;

namespace {

constexpr int64_t kRows = 10000000;

// 22 chromosomes of equal row counts, positions increasing (divided by 10 as the reader stores them),
// -log10 of uniform p-values with a few hundred strong hits.
const PlotData& table() {
    static const PlotData data = [] {
        PlotData d;
        std::mt19937_64 random(42);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        d.Value_list.reserve(kRows);
        d.Pos_list.reserve(kRows);
        const int64_t perChromosome = kRows / 22;
        for (int c = 1; c <= 22; ++c) {
            const int64_t rows = c == 22 ? kRows - 21 * perChromosome : perChromosome;
            d.ID_list.push_back({std::to_string(c), rows});
            int32_t pos = 0;
            for (int64_t i = 0; i < rows; ++i) {
                pos += 1 + static_cast<int32_t>(uniform(random) * 50);
                const double p = i % 40000 == 0 ? 1e-12 * uniform(random) : uniform(random);
                const double v = -std::log10(p > 0 ? p : 1e-300);
                d.Value_list.push_back(v);
                d.Pos_list.push_back(pos);
                d.minY = std::min(d.minY, v);
                d.maxY = std::max(d.maxY, v);
            }
        }
        d.maxX = kRows;
        return d;
    }();
    return data;
}

PlotSettings settings(bool byPosition) {
    PlotSettings s;
    s.Title = "benchmark";
    s.poscolumn = byPosition ? 3 : 0;
    return s;
}

void BM_layout(benchmark::State& state) {
    PlotData data = table();
    for (auto _ : state) {
        state.PauseTiming();
        data.Pos_list = table().Pos_list;  // the step rewrites the positions in place
        state.ResumeTiming();
        benchmark::DoNotOptimize(rewritePositionsAndLayOut(data, settings(true)));
    }
}

void BM_render(benchmark::State& state) {
    PlotData data = table();
    const PlotLayout layout = std::get<PlotLayout>(rewritePositionsAndLayOut(data, settings(state.range(0) != 0)));
    for (auto _ : state) benchmark::DoNotOptimize(renderPlot(layout, data));
}

void BM_saveJpeg(benchmark::State& state) {
    PlotData data = table();
    const PlotLayout layout = std::get<PlotLayout>(rewritePositionsAndLayOut(data, settings(true)));
    const QImage image = renderPlot(layout, data);
    for (auto _ : state) benchmark::DoNotOptimize(saveJpeg(image, "/tmp/vennrick-plot-benchmark.jpg"));
}

// Everything after the reading stage: layout, painting and the JPEG file.
void BM_plotStage(benchmark::State& state) {
    PlotData data = table();
    for (auto _ : state) {
        state.PauseTiming();
        data.Pos_list = table().Pos_list;
        state.ResumeTiming();
        const PlotLayout layout = std::get<PlotLayout>(rewritePositionsAndLayOut(data, settings(true)));
        benchmark::DoNotOptimize(saveJpeg(renderPlot(layout, data), "/tmp/vennrick-plot-benchmark.jpg"));
    }
}

// The paper figure at 2400 x 1600 pixels and dpi state.range(0).
PlotSettings paperSettings(int dpi) {
    PlotSettings s = settings(true);
    s.style = FigureStyle::paper;
    s.imagesize = ImageSize{2400, 1600};
    s.dpi = dpi;
    return s;
}

void BM_paperLayout(benchmark::State& state) {
    const PlotData& data = table();
    for (auto _ : state) benchmark::DoNotOptimize(layoutPaper(data, paperSettings(static_cast<int>(state.range(0)))));
}

// The paper figure written as state.range(1): 0 png, 1 pdf, 2 svg; on two threads, as a run on two cores.
void BM_paperImage(benchmark::State& state) {
    static const ImageType kTypes[] = {ImageType::png, ImageType::pdf, ImageType::svg};
    const ImageType type = kTypes[state.range(1)];
    const PaperPlot plot = std::get<PaperPlot>(layoutPaper(table(), paperSettings(static_cast<int>(state.range(0)))));
    const std::string path = "/tmp/vennrick-plot-benchmark." + imageExtension(type);
    for (auto _ : state) benchmark::DoNotOptimize(saveFigure(plot.figure, type, path, 2));
}

}  // namespace

BENCHMARK(BM_paperLayout)->Arg(96)->Arg(288)->ArgName("dpi")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_paperImage)->ArgsProduct({{96, 288}, {0, 1, 2}})->ArgNames({"dpi", "type"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_layout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render)->Arg(1)->Arg(0)->ArgName("byPosition")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_saveJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_plotStage)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    const auto application = vennrick::startOffscreenPainting(argc, argv);
    table();  // made once, before any timing
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
