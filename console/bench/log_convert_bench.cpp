// Reading a 10 MB log from disk and turning its line breaks into CR LF, in MB/s.
#include "console/viewer/log_text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

std::string g_path;
double g_rate = 0;

void BM_ReadAndConvert(benchmark::State& state) {
    std::string text;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::FILE* f = std::fopen(g_path.c_str(), "rb");
        if (!f) {
            state.SkipWithError("cannot open the log");
            return;
        }
        kes::LogBytes log;
        const bool ok = kes::ReadLog(
                            [f](char* buf, std::size_t size) -> long long {
                                const std::size_t n = std::fread(buf, 1, size, f);
                                return std::ferror(f) ? -1 : static_cast<long long>(n);
                            },
                            log, ~0ull) == kes::ReadResult::Ok;
        std::fclose(f);
        if (!ok)
            state.SkipWithError("read failed");
        text = kes::LogTextOf(log, 0, log.Size());
        bytes += std::filesystem::file_size(g_path);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReadAndConvert)->Unit(benchmark::kMillisecond);

class Capture : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end())
                g_rate = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    // LF-only lines of a typical width, with some CR LF and CR lines mixed in.
    g_path = (std::filesystem::temp_directory_path() / "kes_log_convert_bench.log").string();
    {
        std::FILE* f = std::fopen(g_path.c_str(), "wb");
        if (!f)
            return 1;
        std::size_t written = 0;
        for (int i = 0; written < 10u * 1024 * 1024; ++i) {
            std::string line = "12:00:00 Kestrova sync folder \"Kalender\" item " +
                               std::to_string(i) + " state \xE4nderung ok";
            line += i % 7 == 0 ? "\r\n" : i % 11 == 0 ? "\r" : "\n";
            std::fwrite(line.data(), 1, line.size(), f);
            written += line.size();
        }
        std::fclose(f);
    }
    benchmark::Initialize(&argc, argv);
    Capture reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove(g_path);
    std::cout << "log_convert_mb_per_s: " << g_rate / (1024.0 * 1024.0) << "\n";
    return 0;
}
