// The receive decoder on what the camera sends.

#include "check_receive_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::abort_on(fuzz::check_receive_decoder(data, size));
    return 0;
}
