#pragma once
// The CTest side of the parser checks: many generated inputs through one check, each made from
// its own seed, base + case number, so a failure names the seed that repeats it. The failing input
// is also written to fuzz-failure-<name>-<seed>.bin in the working folder, ready to be replayed
// by the libFuzzer target. CAMERA_FUZZ_SEED=<seed> runs that one case alone.

#include "fuzz_check.h"
#include "valid_inputs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>

// The death callback exists only in a build with AddressSanitizer (gcc and clang name it apart).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_HAVE_SANITIZER_INTERFACE 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define FUZZ_HAVE_SANITIZER_INTERFACE 1
#endif
#ifdef FUZZ_HAVE_SANITIZER_INTERFACE
#include <sanitizer/common_interface_defs.h>
#endif

namespace fuzz {
namespace cases_detail {

// The case being checked, as text a signal handler can write without allocating.
inline char running[96] = "";

inline void say_running()
{
    if (running[0] == '\0') return;
    const ssize_t written = ::write(2, running, std::strlen(running));
    (void)written;
    running[0] = '\0'; // once: a sanitizer's death callback is followed by its abort
}

inline void on_fatal_signal(int signal)
{
    say_running();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A crash or a sanitizer report ends the process without a test failure: name the seed anyway.
inline void name_the_seed_on_a_crash()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, on_fatal_signal);
#ifdef FUZZ_HAVE_SANITIZER_INTERFACE
    __sanitizer_set_death_callback(say_running);
#endif
}

inline void keep_failing_input(const char* name, std::uint64_t seed, const Bytes& input)
{
    const std::string path = std::string("fuzz-failure-") + name + "-" + std::to_string(seed) + ".bin";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(input.data(), 1, input.size(), file);
        std::fclose(file);
    }
}

} // namespace cases_detail

using Generator = std::function<Bytes(Random& random, int case_number)>;
using Check = Violation (*)(const std::uint8_t* data, std::size_t size);

inline void run_cases(const char* name, int count, std::uint64_t base_seed, const Generator& generate, Check check)
{
    using namespace cases_detail;
    name_the_seed_on_a_crash();
    int first = 0;
    if (const char* only = std::getenv("CAMERA_FUZZ_SEED")) {
        const std::uint64_t seed = std::strtoull(only, nullptr, 0);
        if (seed < base_seed || seed >= base_seed + static_cast<std::uint64_t>(count)) return;
        first = static_cast<int>(seed - base_seed);
        count = first + 1;
    }
    for (int i = first; i < count; ++i) {
        const std::uint64_t seed = base_seed + static_cast<std::uint64_t>(i);
        std::snprintf(running, sizeof running, "\n%s: crashed on the input of seed %llu\n", name,
                      static_cast<unsigned long long>(seed));
        Random random(seed);
        const Bytes input = generate(random, i);
        const Violation violation = check(input.data(), input.size());
        if (!violation.empty()) {
            keep_failing_input(name, seed, input);
            running[0] = '\0';
            FAIL() << name << ": seed " << seed << " (" << input.size() << " bytes): " << violation;
        }
    }
    running[0] = '\0';
}

} // namespace fuzz
