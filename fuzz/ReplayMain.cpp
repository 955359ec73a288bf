// Corpus replayer: the main of a fuzz target built without libFuzzer (any
// compiler). Feeds every file named on the command line, and every file of
// every folder named there (in name order), once through the target's
// LLVMFuzzerTestOneInput, after its LLVMFuzzerInitialize when it has one.
// A target's invariant aborts the process, as under libFuzzer; a sanitizer
// report ends it too. Exits 1 when nothing was replayed (a missing or empty
// corpus would otherwise pass unnoticed) or a path cannot be read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
// Only some targets define it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

namespace fs = std::filesystem;

bool readFile(const fs::path &path, std::vector<char> *out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The files a path names: itself, or a folder's regular files in name order.
bool inputsOf(const fs::path &path, std::vector<fs::path> *out)
{
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        if (!fs::is_regular_file(path, ec))
            return false;
        out->push_back(path);
        return true;
    }
    std::vector<fs::path> files;
    for (const fs::directory_entry &e : fs::directory_iterator(path, ec)) {
        if (e.is_regular_file(ec))
            files.push_back(e.path());
    }
    if (ec)
        return false;
    std::sort(files.begin(), files.end());
    out->insert(out->end(), files.begin(), files.end());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!inputsOf(argv[i], &inputs)) {
            std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
            return 1;
        }
    }
    std::vector<char> bytes;
    for (const fs::path &p : inputs) {
        if (!readFile(p, &bytes)) {
            std::fprintf(stderr, "replay: cannot read %s\n", p.c_str());
            return 1;
        }
        // Named before it runs, so that a crash's log says which input it was.
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", p.c_str(), bytes.size());
        // A copy of exactly its size, so ASan sees reads past the end; never
        // a null pointer, not even for an empty input (as under libFuzzer).
        const std::unique_ptr<std::uint8_t[]> input(new std::uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), input.get());
        LLVMFuzzerTestOneInput(input.get(), bytes.size());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no input found\n");
        return 1;
    }
    std::printf("replay: %zu inputs, no crash\n", inputs.size());
    return 0;
}
