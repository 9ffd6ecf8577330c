// Seeded driver for the fuzz targets when libFuzzer is not available: feeds
// random byte strings and mutations of the files given on the command line
// (or of the previous input) to LLVMFuzzerTestOneInput, and every 500th
// input with a long run of one byte (up to 1 MB). Deterministic for a given
// --seed, bounded by --runs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    unsigned runs = 1000, seed = 1;
    size_t maxLen = 4096;
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--seed" && i + 1 < argc) seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--max-len" && i + 1 < argc) maxLen = size_t(std::strtoul(argv[++i], nullptr, 10));
        else {
            std::ifstream f(a, std::ios::binary);
            if (f) corpus.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        }
    }
    std::mt19937 rng(seed);
    std::vector<uint8_t> buf;
    for (unsigned r = 0; r < runs; ++r) {
        unsigned mode = rng() % 4;
        if (mode == 0 || corpus.empty()) {
            buf.resize(rng() % (maxLen + 1));
            for (auto& b : buf) b = uint8_t(rng());
        } else {
            buf = corpus[rng() % corpus.size()];
            unsigned edits = 1 + rng() % 8;
            for (unsigned e = 0; e < edits && !buf.empty(); ++e) {
                size_t pos = rng() % buf.size();
                switch (rng() % 4) {
                case 0: buf[pos] = uint8_t(rng()); break;
                case 1: buf.resize(pos); break;  // truncate
                case 2: buf.insert(buf.begin() + long(pos), uint8_t(rng())); break;
                default: buf.erase(buf.begin() + long(pos)); break;
                }
            }
        }
        // Now and then a long input: a run of one byte of up to 1 MB put
        // into it, where time that grows faster than the input shows.
        if (r % 500 == 499) {
            const size_t len = 1 + rng() % (size_t(1) << 20);
            buf.insert(buf.begin() + long(buf.empty() ? 0 : rng() % buf.size()), len, uint8_t(rng()));
        }
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
        if (mode == 3 && buf.size() <= maxLen) corpus.push_back(buf);
        if (corpus.size() > 64) corpus.erase(corpus.begin());
    }
    std::printf("%u runs\n", runs);
    return 0;
}
