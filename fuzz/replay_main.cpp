// A plain main for a fuzz target: runs it once over every file named on the command line, and
// over every file inside every folder named there, so the corpus and the crashers are replayed
// under CTest by the normal compiler, with or without sanitizers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& arg) {
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(arg)) {
        for (const auto& entry : std::filesystem::directory_iterator(arg)) {
            if (entry.is_regular_file()) {
                inputs.push_back(entry.path());
            }
        }
        std::sort(inputs.begin(), inputs.end());
    } else {
        inputs.push_back(arg);
    }
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& path : InputsOf(argv[i])) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", path.c_str());
                return 1;
            }
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                                  std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "%s\n", path.c_str());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::printf("replayed %d inputs\n", replayed);
    return 0;
}
