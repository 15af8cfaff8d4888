// The Copy page's line reader and line-to-frame conversion on any file.

#include "check_data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::abort_on(fuzz::check_single_file(data, size));
    return 0;
}
