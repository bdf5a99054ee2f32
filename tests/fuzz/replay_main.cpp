// Runs a fuzz target once on each file of the folders and files named on the
// command line, so that the seed corpus and any input that once broke a
// property are checked by every build, without libFuzzer.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Like libFuzzer's -timeout, but far tighter: every seed takes milliseconds,
// even under the sanitizers, and a slow one shows work growing faster than
// its input.
constexpr std::chrono::milliseconds kSlowInput{500};

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs given\n");
        return 2; // an empty corpus would pass without checking anything
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 2;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                      std::istreambuf_iterator<char>()};
        std::printf("%s (%zu bytes)\n", input.c_str(), bytes.size());
        std::fflush(stdout);
        const auto start = std::chrono::steady_clock::now();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        if (took > kSlowInput) {
            std::fprintf(stderr, "%s took %lld ms, more than %lld ms\n", input.c_str(),
                         static_cast<long long>(took.count()),
                         static_cast<long long>(kSlowInput.count()));
            return 1;
        }
    }
    std::printf("%zu inputs checked\n", inputs.size());
    return 0;
}
