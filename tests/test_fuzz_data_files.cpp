// The Copy page's two data-file readers, each on 10000 seeded files: the line reader and
// line-to-frame conversion of PC->Camera (single), and the record reader of PC->Camera (batch).
// The files are random bytes of the file's own alphabet, damaged and intact parameter files, now
// and then a huge line, each read with its own size, a larger one or a smaller one. The properties
// are those of fuzz/check_data_file.h.

#include "../fuzz/check_data_file.h"
#include "../fuzz/random_cases.h"

namespace {

using namespace fuzz;

const Bytes kSpecials{'0', '2', '3', 'C', 'c', 'F', 'G', ' ', '\r', '\n', '\n', 0x1A, 0xFF};

Bytes file_bytes(Random& random, int case_number)
{
    const std::uint8_t control = any_byte(random);
    if (case_number % 500 == 7) { // a line longer than anything a reader keeps
        Bytes file(300000 + static_cast<std::size_t>(pick(random, 5000)), '2');
        file[1] = '3';
        file.push_back('\n');
        append(file, data_file_text(random));
        return with_control(control, file);
    }
    switch (case_number % 3) {
    case 0: return with_control(control, random_bytes(random, 600, kSpecials));
    case 1: return with_control(control, mutated(data_file_text(random), random, kSpecials));
    default: return with_control(control, data_file_text(random));
    }
}

TEST(FuzzSingleFile, LinesFramesAndTheEndMatchTheFilesBytes)
{
    run_cases("single_file", 10000, 0x51A6F000, file_bytes, check_single_file);
}

TEST(FuzzBatchFile, ResultAndTableMatchTheFilesValidRecords)
{
    run_cases("batch_file", 10000, 0xBA7C0000, file_bytes, check_batch_file);
}

} // namespace
