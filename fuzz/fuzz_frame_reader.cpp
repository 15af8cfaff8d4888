// The simulator's frame reader on what the tool sends.

#include "check_frame_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::abort_on(fuzz::check_frame_reader(data, size));
    return 0;
}
