// The keep map and survey's comparison: the --keep and keep-file parser with its one-line errors,
// the merged ranges and their text form, what a write keeping them sets and which own words tell
// the camera apart, the keep file written and read back, and the addresses where several cameras'
// words differ, with how many cameras differ there.

#include "station/fingerprint.h"
#include "station/keep_map.h"
#include "station/survey.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>

using namespace station;

void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace station {
void PrintTo(const AddressRange& r, std::ostream* os) { *os << range_text(r).toStdString(); }
void PrintTo(const SurveyRange& r, std::ostream* os) { *os << range_text(r.range).toStdString() << " x" << r.differing; }
} // namespace station

namespace {

QString text_of(std::initializer_list<AddressRange> ranges)
{
    KeepMap map;
    for (const AddressRange& r : ranges) map.add(r);
    return map.text();
}

TEST(KeepMap, ListsParseWithTheirBlanksCaseAndEndsAndBadItemsAreNamed)
{
    struct Case {
        const char* list;
        const char* text;  // the map's text form, or
        const char* error; // the error, when the list is bad
    };
    const Case cases[] = {
        {"0x0100-0x011F,0x03F0", "0x0100-0x011F,0x03F0", nullptr},
        {" 0x100 - 0x11f , 0X3f0 ", "0x0100-0x011F,0x03F0", nullptr},
        {"0x0000,0x03FF", "0x0000,0x03FF", nullptr},
        {"0x0000-0x03FF", "0x0000-0x03FF", nullptr},
        {"0x0105-0x0105", "0x0105", nullptr},
        {"0x0000000100", "0x0100", nullptr},
        {"0x0400", nullptr, R"(bad --keep item "0x0400": beyond 0x03FF)"},
        {"0x0100-0x0400", nullptr, R"(bad --keep item "0x0100-0x0400": beyond 0x03FF)"},
        {"0x100000100", nullptr, R"(bad --keep item "0x100000100": beyond 0x03FF)"},
        {"0x0100,0x0120-0x0100", nullptr,
         R"(bad --keep item "0x0120-0x0100": a backwards range (its first address is above its last))"},
        {"0100", nullptr, R"(bad --keep item "0100": not a hexadecimal address (0x0000..0x03FF))"},
        {"0x", nullptr, R"(bad --keep item "0x": not a hexadecimal address (0x0000..0x03FF))"},
        {"0x01G0", nullptr, R"(bad --keep item "0x01G0": not a hexadecimal address (0x0000..0x03FF))"},
        {"0x0100-", nullptr, R"(bad --keep item "0x0100-": not a hexadecimal address (0x0000..0x03FF))"},
        {"0x0100-0x0110-0x0120", nullptr,
         R"(bad --keep item "0x0100-0x0110-0x0120": not a hexadecimal address (0x0000..0x03FF))"},
        {"0x0100,,0x0200", nullptr, R"(bad --keep item "": an empty item)"},
        {" ", nullptr, R"(bad --keep " ": no address given)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        KeepMap map;
        if (c.error) map.add({0x0200, 0x0200}); // a bad list leaves the map as it was
        QString error;
        const bool ok = parse_keep_list(QString::fromLatin1(c.list), map, &error);
        ASSERT_EQ(ok, c.error == nullptr) << error.toStdString();
        if (!ok) {
            EXPECT_EQ(error, QString::fromLatin1(c.error));
        }
        EXPECT_EQ(map.text(), QString::fromLatin1(ok ? c.text : "0x0200"));
    }
    // A good list adds to the map (--keep beside --keep-file).
    KeepMap map;
    map.add({0x0200, 0x0200});
    QString error;
    ASSERT_TRUE(parse_keep_list(QStringLiteral("0x0201"), map, &error));
    EXPECT_EQ(map.text(), QStringLiteral("0x0200-0x0201"));
}

TEST(KeepMap, RangesAreSortedOverlappingAndAdjacentOnesMergedAndTheTextParsesBack)
{
    struct Case {
        std::initializer_list<AddressRange> added;
        const char* text;
        int count;
    };
    const Case cases[] = {
        {{{0x100, 0x10F}, {0x110, 0x11F}}, "0x0100-0x011F", 32},
        {{{0x110, 0x11F}, {0x100, 0x10F}}, "0x0100-0x011F", 32},
        {{{0x100, 0x10F}, {0x111, 0x11F}}, "0x0100-0x010F,0x0111-0x011F", 31},
        {{{0x100, 0x110}, {0x105, 0x108}}, "0x0100-0x0110", 17},
        {{{0x300, 0x310}, {0x3FF, 0x3FF}, {0x0FF, 0x2FF}, {0x000, 0x000}}, "0x0000,0x00FF-0x0310,0x03FF", 532},
        {{{0x200, 0x200}, {0x201, 0x201}, {0x1FF, 0x1FF}}, "0x01FF-0x0201", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        KeepMap map;
        for (const AddressRange& r : c.added) map.add(r);
        EXPECT_EQ(map.text(), QString::fromLatin1(c.text));
        EXPECT_EQ(map.count(), c.count);
        const QList<int> addresses = map.addresses();
        EXPECT_EQ(addresses.size(), c.count);
        for (const AddressRange& r : map.ranges()) {
            EXPECT_TRUE(map.contains(r.first) && map.contains(r.last)) << range_text(r).toStdString();
            EXPECT_FALSE(map.contains(r.first - 1) || map.contains(r.last + 1)) << range_text(r).toStdString();
            EXPECT_TRUE(addresses.contains(r.first) && addresses.contains(r.last));
        }
        KeepMap parsed;
        QString error;
        ASSERT_TRUE(parse_keep_list(map.text(), parsed, &error)) << error.toStdString();
        EXPECT_EQ(parsed, map);
    }
    EXPECT_EQ(text_of({{0x3FE, 0x400}, {-1, 0}}), QStringLiteral("0x0000,0x03FE-0x03FF"));
}

// What a write keeping a map sets, and how the camera's own words split: those the file does not
// name identify the camera, the kept ones must come through unchanged; when the file names every
// word, the kept words identify it.
TEST(KeepMap, TheUnnamedWordsIdentifyTheCameraUnlessTheFileNamesEveryWord)
{
    MasterFile camera_to_pc; // names 0..1022, as Camera->PC writes
    MasterFile every_word;
    for (int a = 0; a < data_file::kWords; ++a) {
        every_word.words[static_cast<std::size_t>(a)] = a ^ 0x5A5A;
        camera_to_pc.words[static_cast<std::size_t>(a)] = a == 0x3FF ? kNotNamed : a ^ 0x5A5A;
    }
    KeepMap none;
    KeepMap own;
    own.add({0x100, 0x11F});
    KeepMap own_and_last = own;
    own_and_last.add({0x3FF, 0x3FF});
    QList<int> own_range;
    for (int a = 0x100; a <= 0x11F; ++a) own_range.append(a);
    struct Case {
        const char* name;
        const MasterFile& file;
        const KeepMap& keep;
        QList<int> identity;
        QList<int> kept;
        std::optional<int> watched;
    };
    const Case cases[] = {
        {"from Camera->PC", camera_to_pc, own, {0x3FF}, own_range, 0x3FF},
        {"an unnamed word kept too", camera_to_pc, own_and_last, {0x3FF}, own_range, 0x3FF},
        {"every word named", every_word, own, own_range, {}, 0x11F},
        {"every word named, no keep map", every_word, none, {}, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OwnWords words = own_words(c.file, c.keep);
        EXPECT_EQ(words.identity, c.identity);
        EXPECT_EQ(words.kept, c.kept);
        EXPECT_EQ(watched_address(c.file, c.keep), c.watched);
        const WordMap written = written_words(c.file, c.keep);
        for (int a : {0x0FF, 0x100, 0x11F, 0x120})
            EXPECT_EQ(written[static_cast<std::size_t>(a)], c.keep.contains(a) ? kNotNamed : c.file.words[static_cast<std::size_t>(a)]) << a;
    }
}

class KeepFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("line3.keep")) const
    {
        const QString path = QDir(dir_.path()).absoluteFilePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }

    QTemporaryDir dir_;
};

TEST_F(KeepFile, CommentsBlankLinesAndCrLfAreSkippedAndABadLineIsNamedWithItsFile)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* text;  // the map read, or
        const char* error; // after "<path>: "
    };
    const Case cases[] = {
        {"commented", "# line 3 keep map\r\n\r\n0x0100-0x011F  # calibration, not 0x0400\r\n  0x03f0\n\n0x0200, 0x0201\n",
         "0x0100-0x011F,0x0200-0x0201,0x03F0", nullptr},
        {"comments only", "# nothing kept yet\n\n", "", nullptr},
        {"byte order mark", "\xEF\xBB\xBF" "0x0100\r\n", "0x0100", nullptr},
        {"beyond on line 4", "# head\n\n0x0100\n0x0400 # one too far\n0x0200\n", nullptr,
         R"(line 4: "0x0400": beyond 0x03FF)"},
        {"backwards on line 1", "0x0120-0x0100\n", nullptr,
         R"(line 1: "0x0120-0x0100": a backwards range (its first address is above its last))"},
        {"a data file", "230C00000A1B000000000000000000\r\n", nullptr,
         R"(line 1: "230C00000A1B000000000000000000": not a hexadecimal address (0x0000..0x03FF))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = write(c.bytes);
        KeepMap map;
        QString error;
        const bool ok = load_keep_file(path, map, &error);
        ASSERT_EQ(ok, c.error == nullptr) << error.toStdString();
        if (ok) EXPECT_EQ(map.text(), QString::fromLatin1(c.text));
        else EXPECT_EQ(error, path + QStringLiteral(": ") + QString::fromLatin1(c.error));
    }
    KeepMap map;
    QString error;
    const QString missing = QDir(dir_.path()).absoluteFilePath(QStringLiteral("missing.keep"));
    EXPECT_FALSE(load_keep_file(missing, map, &error));
    EXPECT_EQ(error, missing + QStringLiteral(": cannot read: no such file"));
}

TEST_F(KeepFile, WrittenFileSaysWhatItIsAndReadsBackToTheSameMap)
{
    KeepMap map;
    map.add({0x0100, 0x011F});
    map.add({0x03FF, 0x03FF});
    const QString path = QDir(dir_.path()).absoluteFilePath(QStringLiteral("out.keep"));
    QString error;
    ASSERT_TRUE(save_keep_file(path, map, {QStringLiteral("note one\nnote two 0x0400")}, &error)) << error.toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 6);
    EXPECT_TRUE(lines[0].startsWith("# camera-station keep map")) << lines[0].toStdString();
    EXPECT_EQ(lines.mid(lines.size() - 5),
              (QList<QByteArray>{"# note one", "# note two 0x0400", "0x0100-0x011F", "0x03FF", ""}));

    KeepMap read;
    ASSERT_TRUE(load_keep_file(path, read, &error)) << error.toStdString();
    EXPECT_EQ(read, map);

    const QString nowhere = QDir(dir_.path()).absoluteFilePath(QStringLiteral("no-such-folder/out.keep"));
    EXPECT_FALSE(save_keep_file(nowhere, map, {}, &error));
    EXPECT_EQ(error, nowhere + QStringLiteral(": cannot write the keep file"));
}

// ---------------------------------------------------------------------------------------------
// survey

WordMap product_memory()
{
    WordMap words{};
    for (std::size_t a = 0; a < words.size(); ++a) words[a] = static_cast<int>((a * 0x9E37u) & 0xFFFFu);
    return words;
}

TEST(Survey, DifferingAddressesAreRunsOfOneCountAndUnnamedOnesAreNotCompared)
{
    WordMap a = product_memory();
    WordMap b = a;
    WordMap c = a;
    b[0x000] ^= 1;                                  // 1 of 3, the first address
    for (std::size_t i = 0x100; i <= 0x103; ++i) {  // three words: 2 of 3
        b[i] ^= 1;
        c[i] ^= 2;
    }
    c[0x104] ^= 4;                                  // adjacent, but 1 of 3: a run of its own
    b[0x106] = c[0x106] = 0x7777;                   // b and c agree: a is the one that differs
    b[0x3FF] ^= 1;                                  // 2 of 3, the last address
    c[0x3FF] ^= 2;
    c[0x200] = c[0x201] = kNotNamed;                // not compared, whoever does not name it
    a[0x202] = kNotNamed;

    const Survey survey = survey_words({a, b, c});
    EXPECT_EQ(survey.cameras, 3);
    EXPECT_EQ(survey.differing, (QList<SurveyRange>{{{0x000, 0x000}, 1},
                                                    {{0x100, 0x103}, 2},
                                                    {{0x104, 0x104}, 1},
                                                    {{0x106, 0x106}, 1},
                                                    {{0x3FF, 0x3FF}, 2}}));
    EXPECT_EQ(survey.not_compared, (QList<AddressRange>{{0x200, 0x202}}));
    EXPECT_EQ(survey.keep_map().text(), QStringLiteral("0x0000,0x0100-0x0104,0x0106,0x03FF"));
    EXPECT_EQ(survey_report(survey),
              (QStringList{
                  "0x0000         1 word      1 of 3 cameras differs from the most common word",
                  "0x0100-0x0103  4 words     2 of 3 cameras differ from the most common word",
                  "0x0104         1 word      1 of 3 cameras differs from the most common word",
                  "0x0106         1 word      1 of 3 cameras differs from the most common word",
                  "0x03FF         1 word      2 of 3 cameras differ from the most common word",
                  "0x0200-0x0202  3 words     not compared: not named by every input",
                  "3 cameras: 8 words differ, keep map 0x0000,0x0100-0x0104,0x0106,0x03FF; 3 words not compared",
              }));
}

TEST(Survey, CountIsTheCamerasBesideTheMostCommonWord)
{
    const WordMap a = product_memory();
    WordMap b = a;
    for (int& word : b) word ^= 0x8000;
    WordMap pair_c = a;
    WordMap pair_d = a;
    pair_c[0x050] = pair_d[0x050] = 0x1111; // two against two: 2 of 4, though only two words
    pair_d[0x051] = 0x2222;                 // one against three: 1 of 4
    struct Case {
        const char* name;
        QList<WordMap> memories;
        QList<SurveyRange> differing;
    };
    const Case cases[] = {
        {"two alike", {a, a}, {}},
        {"two different everywhere", {a, b}, {{{0x000, 0x3FF}, 1}}},
        {"four, two pairs", {a, a, pair_c, pair_d}, {{{0x050, 0x050}, 2}, {{0x051, 0x051}, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Survey survey = survey_words(c.memories);
        EXPECT_EQ(survey.differing, c.differing);
        EXPECT_TRUE(survey.not_compared.isEmpty());
    }
    EXPECT_EQ(survey_report(survey_words({a, a})), QStringList{"no word differs between the 2 cameras"});
}

TEST_F(KeepFile, SurveyKeepFileHoldsTheDifferingAddressesWithTheReportAsComments)
{
    const WordMap a = product_memory();
    WordMap b = a;
    for (std::size_t i = 0x0F0; i <= 0x0FF; ++i) b[i] ^= 1;
    const Survey survey = survey_words({a, b});
    const QString path = QDir(dir_.path()).absoluteFilePath(QStringLiteral("found.keep"));
    QString error;
    ASSERT_TRUE(save_survey_keep_file(path, survey, {"a.dat", "port:2"}, &error)) << error.toStdString();

    KeepMap read;
    ASSERT_TRUE(load_keep_file(path, read, &error)) << error.toStdString();
    EXPECT_EQ(read.text(), QStringLiteral("0x00F0-0x00FF"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("\n# Found by camera-station survey of a.dat, port:2:\n"
                              "# 0x00F0-0x00FF  16 words    1 of 2 cameras differs from the most common word\n"))
        << text.toStdString();
}

} // namespace
