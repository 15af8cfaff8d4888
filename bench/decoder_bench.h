#pragma once
// Throughput of the receive decoder alone, over a stream of valid replies and over random bytes.

#include <string>

struct DecoderFigures {
    std::string stream;
    double mib_per_s = 0;   // median of the repetitions
    double ns_per_byte = 0;
    double frames_per_byte = 0; // complete frames reported per byte fed (a check that it decoded)
};

DecoderFigures decoder_throughput_valid();
DecoderFigures decoder_throughput_random();
