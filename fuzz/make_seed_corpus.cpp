// Writes the seed corpus of every fuzz target into <folder>/<target>/: well-formed input of each
// parser, each behind the control byte its check reads first.

#include "valid_inputs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void write_seeds(const std::filesystem::path& folder, const std::vector<fuzz::Bytes>& seeds)
{
    std::filesystem::create_directories(folder);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream out(folder / ("seed-" + std::to_string(i)), std::ios::binary);
        out.write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
    }
}

template <typename Make>
std::vector<fuzz::Bytes> seeds_of(int count, Make make)
{
    fuzz::Random random(20261209);
    std::vector<fuzz::Bytes> seeds;
    for (int i = 0; i < count; ++i) seeds.push_back(fuzz::with_control(static_cast<std::uint8_t>(i), make(random, i)));
    return seeds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    write_seeds(root / "receive_decoder", seeds_of(16, [](fuzz::Random& r, int i) { return fuzz::camera_replies(r, 1 + i % 5); }));
    write_seeds(root / "frame_reader", seeds_of(16, [](fuzz::Random& r, int i) {
                    return i < 2 ? fuzz::parameter_block(r) : fuzz::tool_stream(r, 1 + i % 4, 1000);
                }));
    write_seeds(root / "raw_command", seeds_of(16, [](fuzz::Random& r, int) { return fuzz::raw_command_text(r); }));
    const auto files = [](fuzz::Random& r, int) { return fuzz::data_file_text(r); };
    write_seeds(root / "single_file", seeds_of(16, files));
    write_seeds(root / "batch_file", seeds_of(16, files));
    return 0;
}
