// The Debug page's raw command parser on any text.

#include "check_raw_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::abort_on(fuzz::check_raw_command(data, size));
    return 0;
}
