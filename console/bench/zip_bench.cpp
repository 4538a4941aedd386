// The support mail's zip of a 200 MB log: its time against zlib's own one-call deflate of the
// same bytes (the library used as well as it allows), and the archive's size against the log's.
#include "console/viewer/zip_writer.h"

#include <zlib.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

int main() {
    std::string log;
    for (int i = 0; log.size() < 200'000'000; ++i)
        log += "12:00:" + std::to_string(i % 60) + " Kestrova sync folder \"Kalender\" item " +
               std::to_string(i) + " state \xE4nderung ok\r\n";
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::time_point since) {
        return std::chrono::duration<double>(Clock::now() - since).count();
    };

    auto start = Clock::now();
    // As the mail writes it: pieces of a megabyte.
    kes::ZipWriter zip("Kestrova_debug.log", 0, 0);
    for (std::size_t at = 0; at < log.size(); at += 1 << 20)
        zip.Write(std::string_view(log).substr(at, 1 << 20));
    const std::size_t archive = zip.Finish().size();
    const double ours = seconds(start);

    start = Clock::now();
    std::vector<Bytef> out(compressBound(static_cast<uLong>(log.size())));
    uLongf outSize = static_cast<uLongf>(out.size());
    compress2(out.data(), &outSize, reinterpret_cast<const Bytef*>(log.data()),
              static_cast<uLong>(log.size()), Z_DEFAULT_COMPRESSION);
    const double bare = seconds(start);

    std::cout << "zip_200mb_ms: " << ours * 1000 << "\n"
              << "zip_200mb_bare_deflate_ms: " << bare * 1000 << "\n"
              << "zip_200mb_ratio_vs_bare_deflate: " << ours / bare << "\n"
              << "zip_200mb_size_ratio: " << static_cast<double>(archive) / log.size() << "\n";
}
