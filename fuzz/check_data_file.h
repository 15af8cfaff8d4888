#pragma once
// The Copy page's two data-file readers, on the bytes of a whole file.
//
// The control byte chooses the size the reader is told: the file's own, a larger one (the file
// shrank after it was opened, so the device ends early) or a smaller one (only a prefix is read).
// Both checks compare the readers with a model that splits the visible bytes at LF:
// - single (PC->Camera one line at a time): every line comes back with its length, its first 64
//   bytes and whether an LF ended it, the position just past it, then End, or Error when the
//   device ends early; each line's frame bytes 1..15 are its leading digit pairs, bytes 0, 16 and
//   17 are never written; an empty line (nothing, or a lone CR) is told apart from a line whose
//   first character is not a digit, and both convert nothing.
// - batch (the whole file into the parameter table): the result and every table entry match the
//   model's records, so a malformed file takes the reader's own failure result and the table
//   (held at its exact size on the heap, so ASan sees any overrun) holds nothing but bytes the
//   file's valid records put there.

#include "codecs/data_file.h"
#include "fuzz_check.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>

#include <algorithm>
#include <memory>

namespace fuzz {
namespace data_file_check {

struct File {
    QByteArray content;
    qint64 declared = 0;         // the size the reader is told
    QList<QByteArray> lines;     // the visible bytes split at LF, LFs removed
    bool device_ends_early = false;
};

inline File file_of(const Input& in)
{
    File f;
    f.content = QByteArray(reinterpret_cast<const char*>(in.bytes), static_cast<qsizetype>(in.size));
    const qint64 actual = f.content.size();
    const qint64 amount = in.control >> 2;
    switch (in.control & 3) {
    case 2: f.declared = actual + 1 + amount; break;
    case 3: f.declared = std::max<qint64>(0, actual - 1 - amount); break;
    default: f.declared = actual;
    }
    f.device_ends_early = f.declared > actual;
    f.lines = f.content.left(static_cast<qsizetype>(std::min(f.declared, actual))).split('\n');
    return f;
}

inline int digit_of(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

inline int pair_of(const QByteArray& text, qsizetype at)
{
    const int high = digit_of(text[at]);
    const int low = digit_of(text[at + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

inline void open(QBuffer& buffer, const File& f)
{
    buffer.setData(f.content);
    buffer.open(QIODevice::ReadOnly);
}

constexpr std::uint8_t kUntouched = 0xEE;

// Nothing, or only the CR of a blank line in a CR LF file.
inline bool is_empty(const QByteArray& text) { return text.isEmpty() || text == "\r"; }

// What single mode makes of a line's usable characters (a line without an LF loses its last).
inline data_file::LineFrame expected_kind(const QByteArray& usable)
{
    if (is_empty(usable)) return data_file::LineFrame::Empty;
    return digit_of(usable[0]) < 0 ? data_file::LineFrame::NoDigit : data_file::LineFrame::Converted;
}

inline frames::Frame expected_frame(const QByteArray& text, bool terminated)
{
    frames::Frame frame;
    frame.fill(kUntouched);
    const qsizetype usable = std::min<qsizetype>(terminated ? text.size() : text.size() - 1, 30);
    for (qsizetype i = 0; i < usable; ++i) {
        const int d = digit_of(text[i]);
        if (d < 0) break;
        std::uint8_t& byte = frame[static_cast<std::size_t>(1 + i / 2)];
        byte = static_cast<std::uint8_t>(i % 2 == 0 ? d * 16 : byte | d);
    }
    return frame;
}

struct Batch {
    bool ok = true;
    frames::ParamImage image;
};

inline Batch expected_batch(const File& f, std::int32_t fill)
{
    Batch b;
    b.image.fill(fill);
    bool after_non_empty = false;
    for (qsizetype i = 0; i + 1 < f.lines.size(); ++i) { // the last piece has no LF
        const QByteArray& l = f.lines[i];
        if (is_empty(l)) {
            if (!after_non_empty) continue;
            b.ok = false;
            return b;
        }
        after_non_empty = true;
        if (l[0] == data_file::kEndOfFileMark) return b;
        if (l.size() < 2 || pair_of(l, 0) != 0x23) continue;
        if (l.size() < 12) {
            b.ok = false;
            return b;
        }
        const int ah = pair_of(l, 4), al = pair_of(l, 6), wh = pair_of(l, 8), wl = pair_of(l, 10);
        if (ah < 0 || al < 0 || wh < 0 || wl < 0 || ah * 256 + al >= 1024) continue;
        b.image[static_cast<std::size_t>(2 * (ah * 256 + al))] = wl;
        b.image[static_cast<std::size_t>(2 * (ah * 256 + al) + 1)] = wh;
    }
    b.ok = !f.device_ends_early;
    return b;
}

} // namespace data_file_check

inline Violation check_single_file(const std::uint8_t* data, std::size_t size)
{
    using namespace data_file_check;
    using data_file::ReadStatus;
    const File f = file_of(split_control(data, size));
    QBuffer buffer;
    open(buffer, f);

    qint64 pos = 0;
    qint64 expected_pos = 0;
    data_file::Line line;
    for (qsizetype i = 0; i < f.lines.size(); ++i) {
        const QByteArray& text = f.lines[i];
        const bool terminated = i + 1 < f.lines.size();
        if (!terminated && (f.device_ends_early || text.isEmpty())) break; // the device ends here, or nothing left
        const std::string where = " in line " + std::to_string(i);
        FUZZ_EXPECT(data_file::read_line(buffer, pos, f.declared, line) == ReadStatus::Line, "no line" + where);
        expected_pos += text.size() + (terminated ? 1 : 0);
        FUZZ_EXPECT(pos == expected_pos, "position " + std::to_string(pos) + where);
        FUZZ_EXPECT(line.length == text.size() && line.terminated == terminated, "length or LF wrong" + where);
        FUZZ_EXPECT(line.head == text.left(data_file::Line::kKeptChars), "first bytes wrong" + where);

        auto frame = std::make_unique<frames::Frame>();
        frame->fill(kUntouched);
        const data_file::LineFrame kind = data_file::frame_from_line(line, *frame);
        FUZZ_EXPECT(kind == expected_kind(terminated ? text : text.chopped(1)), "conversion result" + where);
        FUZZ_EXPECT(*frame == expected_frame(text, terminated), "frame bytes differ from the line's digits" + where);
    }
    const ReadStatus last = data_file::read_line(buffer, pos, f.declared, line);
    FUZZ_EXPECT(last == (f.device_ends_early ? ReadStatus::Error : ReadStatus::End),
                f.device_ends_early ? "a device that ends early is no read error" : "no end after the last line");
    FUZZ_EXPECT(pos <= f.declared, "read past the size it was given");
    return {};
}

inline Violation check_batch_file(const std::uint8_t* data, std::size_t size)
{
    using namespace data_file_check;
    constexpr std::int32_t kFill = -5;
    const File f = file_of(split_control(data, size));
    QBuffer buffer;
    open(buffer, f);

    auto image = std::make_unique<frames::ParamImage>();
    image->fill(kFill);
    qint64 pos = 0;
    const bool ok = data_file::read_records(buffer, pos, f.declared, *image);
    const Batch want = expected_batch(f, kFill);
    FUZZ_EXPECT(ok == want.ok, ok ? "malformed file read as good" : "good file read as malformed");
    for (std::size_t i = 0; i < image->size(); ++i)
        FUZZ_EXPECT((*image)[i] == want.image[i], "table entry " + std::to_string(i) + " is " +
                                                      std::to_string((*image)[i]) + ", the records make " +
                                                      std::to_string(want.image[i]));
    FUZZ_EXPECT(pos <= f.declared, "read past the size it was given");
    return {};
}

} // namespace fuzz
