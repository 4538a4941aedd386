// Layout cost of mixed markup on the recording surface, measure-only (the label's scroll
// measurement), for 1 KB, 100 KB and 1 MB. Layout must grow linearly with the text.
#include "widgets/HTMLText/markup.h"
#include "widgets/HTMLText/testing/recording_canvas.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

using namespace kes;

std::string MixedMarkup(std::size_t bytes) {
    static const char* const chunks[] = {
        "Plain words that wrap across the line ",
        "<B>bold</B> and <I>italic</I> text ",
        "<A href=\"mailto:help@example.com\">a link</A> ",
        "<FONT face=\"Tahoma\" COLOR=\"#FF0000\" SIZE=\"3\">red text</FONT> ",
        "&amp; &lt;tag&gt; &euro;&nbsp;5 ",
        "<UL><LI>item one<LI>item two</UL>",
        "<P ALIGN=\"CENTER\">centred</P>",
        "longwordwithoutanyblankinsideitatallreally ",
        "<BR>",
    };
    std::string s;
    for (std::size_t i = 0; s.size() < bytes; ++i)
        s += chunks[i % std::size(chunks)];
    s.resize(bytes);
    return s;
}

int Layout(const std::string& text) {
    RecordingCanvas cv;
    MarkupParams p;
    p.MeasureOnly = true;
    p.HitTest = true;
    MarkupOutputs out;
    DrawMarkup(cv, text, {0, 0, 400, 300}, p, out);
    return out.Height;
}

void BM_MarkupLayout(benchmark::State& state) {
    std::string text = MixedMarkup(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Layout(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_MarkupLayout)
    ->Arg(1 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);

// Best of several runs, in seconds of processor time (the machine may be busy with others).
double Seconds(const std::string& text, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        std::clock_t t0 = std::clock();
        benchmark::DoNotOptimize(Layout(text));
        std::clock_t t1 = std::clock();
        best = std::min(best, static_cast<double>(t1 - t0) / CLOCKS_PER_SEC);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::string kb = MixedMarkup(1 << 10), kb100 = MixedMarkup(100 << 10),
                mb = MixedMarkup(1 << 20);
    double t1 = Seconds(kb, 2000), t100 = Seconds(kb100, 30), t1000 = Seconds(mb, 10);
    std::printf("markup_layout_ns_per_byte_1kb: %.2f\n", t1 * 1e9 / kb.size());
    std::printf("markup_layout_ns_per_byte_100kb: %.2f\n", t100 * 1e9 / kb100.size());
    std::printf("markup_layout_ns_per_byte_1mb: %.2f\n", t1000 * 1e9 / mb.size());
    std::printf("markup_layout_ratio_1mb_100kb: %.2f\n", t1000 / t100);
    std::printf("markup_layout_mb_per_s: %.2f\n", 1.0 / t1000);
    return 0;
}
