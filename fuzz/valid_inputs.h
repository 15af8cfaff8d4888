#pragma once
// Well-formed material for each parser, and random damage to it: the CTest drivers mutate it and
// the seed corpus of the libFuzzer targets is made from it. Every function draws only from the
// generator it is given, so a seed repeats its input.

#include "codecs/data_file.h"
#include "link/frames.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <random>
#include <vector>

namespace fuzz {

using Bytes = std::vector<std::uint8_t>;
using Random = std::mt19937_64;

inline int pick(Random& random, int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
inline std::uint8_t any_byte(Random& random) { return static_cast<std::uint8_t>(random()); }

inline void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }
inline void append(Bytes& to, const QByteArray& from) { to.insert(to.end(), from.begin(), from.end()); }

inline Bytes with_control(std::uint8_t control, const Bytes& payload)
{
    Bytes bytes{control};
    append(bytes, payload);
    return bytes;
}

// ---- The camera's replies: ACK, NAK, 5-byte short frames and 18-byte frames ----

inline Bytes camera_reply(Random& random)
{
    switch (pick(random, 4)) {
    case 0: return {frames::ACK};
    case 1: return {frames::NAK};
    case 2: {
        Bytes frame{frames::SOH, any_byte(random), any_byte(random), frames::ETX, 0};
        frame[4] = frames::checksum_of(frame.data(), 4);
        return frame;
    }
    default: {
        Bytes frame(frames::kFrameSize);
        frame[0] = frames::STX;
        frame[1] = pick(random, 2) ? frames::kReplyAccepted : any_byte(random);
        for (std::size_t i = 2; i < frames::kEtxOffset; ++i) frame[i] = any_byte(random);
        frame[frames::kEtxOffset] = frames::ETX;
        frame[frames::kChecksumOffset] = frames::checksum_of(frame.data(), frames::kChecksumOffset);
        return frame;
    }
    }
}

inline Bytes camera_replies(Random& random, int count)
{
    Bytes bytes;
    for (int i = 0; i < count; ++i) append(bytes, camera_reply(random));
    return bytes;
}

// ---- The tool's side: 18-byte command frames and the 2053-byte parameter block ----

inline Bytes command_frame(Random& random)
{
    frames::Frame frame{};
    const int length = 1 + pick(random, frames::kMaxCommandLength);
    for (int i = 1; i <= length; ++i) frame[static_cast<std::size_t>(i)] = any_byte(random);
    frames::complete_command_frame(frame, length, any_byte(random));
    return Bytes(frame.begin(), frame.end());
}

inline Bytes parameter_block(Random& random)
{
    frames::ParamImage image;
    for (std::int32_t& entry : image) entry = pick(random, 0x10000);
    frames::SohBlock block;
    frames::build_soh_block(image, block);
    return Bytes(block.begin(), block.end());
}

// Mostly command frames; a parameter block in one stream of `block_every`.
inline Bytes tool_stream(Random& random, int units, int block_every)
{
    Bytes bytes;
    for (int i = 0; i < units; ++i) append(bytes, pick(random, block_every) == 0 ? parameter_block(random) : command_frame(random));
    return bytes;
}

// ---- The Debug page's raw command text ----

inline Bytes raw_command_text(Random& random)
{
    static const char* const kSeparators[] = {" ", "  ", ",", "-", "\t", ":", "G", "x", " 0x"};
    QString text;
    const int count = pick(random, 18);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && pick(random, 3) != 0) text += QString::fromLatin1(kSeparators[pick(random, 9)]);
        text += QString::number(pick(random, pick(random, 2) ? 256 : 16), 16);
        if (pick(random, 2)) text = text.toUpper();
    }
    const QByteArray latin = text.toLatin1();
    return Bytes(latin.begin(), latin.end());
}

// ---- The Copy page's data files ----

// A file as Camera->PC writes it, or a few of its records, with CRLF or bare LF, now and then an
// end-of-file mark or a blank line.
inline Bytes data_file_text(Random& random)
{
    if (pick(random, 8) == 0) {
        frames::ParamImage image;
        for (std::int32_t& entry : image) entry = pick(random, 0x10000);
        const QByteArray file = data_file::camera_file(image);
        return Bytes(file.begin(), file.end());
    }
    Bytes bytes;
    const bool bare_lf = pick(random, 4) == 0;
    for (int i = pick(random, 40); i > 0; --i) {
        QByteArray line;
        switch (pick(random, 12)) {
        case 0: line = data_file::end_record(); break;
        case 1: line = QByteArray(1, data_file::kEndOfFileMark) + "\r\n"; break;
        case 2: line = "\r\n"; break;
        default: line = data_file::parameter_record(pick(random, 1100), pick(random, 0x10000));
        }
        if (bare_lf && line.endsWith("\r\n")) line.remove(line.size() - 2, 1);
        append(bytes, line);
    }
    return bytes;
}

// ---- Damage ----

// Random bytes, most of them drawn from `specials` when it is not empty: uniform bytes rarely
// form anything a parser looks at twice.
inline Bytes random_bytes(Random& random, std::size_t max_size, const Bytes& specials)
{
    Bytes bytes(static_cast<std::size_t>(random() % (max_size + 1)));
    for (std::uint8_t& b : bytes)
        b = !specials.empty() && pick(random, 2) ? specials[static_cast<std::size_t>(pick(random, static_cast<int>(specials.size())))]
                                                  : any_byte(random);
    return bytes;
}

// One to four edits: a flipped bit, a byte replaced by any or by a special one, bytes inserted,
// a range erased or repeated, the end cut off.
inline Bytes mutated(Bytes bytes, Random& random, const Bytes& specials)
{
    for (int edits = 1 + pick(random, 4); edits > 0; --edits) {
        const std::size_t size = bytes.size();
        const auto at = [&] { return size == 0 ? std::size_t{0} : static_cast<std::size_t>(random() % size); };
        const auto offset = [&](std::size_t i) { return bytes.begin() + static_cast<std::ptrdiff_t>(i); };
        switch (pick(random, 7)) {
        case 0:
            if (size) bytes[at()] ^= static_cast<std::uint8_t>(1u << pick(random, 8));
            break;
        case 1:
            if (size) bytes[at()] = any_byte(random);
            break;
        case 2:
            if (size && !specials.empty())
                bytes[at()] = specials[static_cast<std::size_t>(pick(random, static_cast<int>(specials.size())))];
            break;
        case 3: {
            const Bytes inserted = random_bytes(random, 20, specials);
            bytes.insert(offset(size == 0 ? 0 : at()), inserted.begin(), inserted.end());
            break;
        }
        case 4:
            if (size) {
                const std::size_t from = at();
                bytes.erase(offset(from), offset(std::min(size, from + 1 + static_cast<std::size_t>(pick(random, 40)))));
            }
            break;
        case 5:
            if (size) {
                const std::size_t from = at();
                const Bytes range(offset(from), offset(std::min(size, from + 1 + static_cast<std::size_t>(pick(random, 40)))));
                bytes.insert(offset(at()), range.begin(), range.end());
            }
            break;
        default:
            if (size) bytes.resize(at());
        }
    }
    return bytes;
}

} // namespace fuzz
