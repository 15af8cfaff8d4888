#include "station/survey.h"

#include <QHash>

#include <algorithm>

namespace station {
namespace {

constexpr int kNotCompared = -1;
constexpr int kRangeColumn = 13; // "0x0100-0x011F"
constexpr int kWordsColumn = 10; // "1024 words"

// Inputs whose word at `address` is not the most common one; kNotCompared when one does not name it.
int differing_at(const QList<WordMap>& memories, std::size_t address)
{
    QHash<int, int> holders;
    int most = 0;
    for (const WordMap& memory : memories) {
        const int word = memory[address];
        if (word == kNotNamed) return kNotCompared;
        most = std::max(most, ++holders[word]);
    }
    return static_cast<int>(memories.size()) - most;
}

bool continues(const AddressRange& range, int address) { return range.last + 1 == address; }


QString columns(const AddressRange& range, const QString& what)
{
    return range_text(range).leftJustified(kRangeColumn) + QStringLiteral("  ")
           + words_text(range.count()).leftJustified(kWordsColumn) + QStringLiteral("  ") + what;
}

QString summary(const Survey& survey)
{
    const KeepMap map = survey.keep_map();
    QString text = map.empty() ? QStringLiteral("no word differs between the %1 cameras").arg(survey.cameras)
                               : QStringLiteral("%1 cameras: %2 %3, keep map %4")
                                     .arg(survey.cameras)
                                     .arg(words_text(map.count()), map.count() == 1 ? QStringLiteral("differs")
                                                                                    : QStringLiteral("differ"),
                                          map.text());
    int not_compared = 0;
    for (const AddressRange& range : survey.not_compared) not_compared += range.count();
    if (not_compared > 0) text += QStringLiteral("; %1 not compared").arg(words_text(not_compared));
    return text;
}

} // namespace

KeepMap Survey::keep_map() const
{
    KeepMap map;
    for (const SurveyRange& r : differing) map.add(r.range);
    return map;
}

Survey survey_words(const QList<WordMap>& memories)
{
    Survey survey;
    survey.cameras = static_cast<int>(memories.size());
    for (int a = 0; a < data_file::kWords; ++a) {
        const int differing = differing_at(memories, static_cast<std::size_t>(a));
        if (differing == kNotCompared) {
            if (!survey.not_compared.isEmpty() && continues(survey.not_compared.last(), a))
                survey.not_compared.last().last = a;
            else
                survey.not_compared.append({a, a});
        } else if (differing > 0) {
            QList<SurveyRange>& runs = survey.differing;
            if (!runs.isEmpty() && continues(runs.last().range, a) && runs.last().differing == differing)
                runs.last().range.last = a;
            else
                runs.append({{a, a}, differing});
        }
    }
    return survey;
}

QStringList survey_report(const Survey& survey)
{
    QStringList lines;
    for (const SurveyRange& r : survey.differing) {
        const QString verb = r.differing == 1 ? QStringLiteral("differs") : QStringLiteral("differ");
        lines << columns(r.range, QStringLiteral("%1 of %2 cameras %3 from the most common word")
                                      .arg(r.differing)
                                      .arg(survey.cameras)
                                      .arg(verb));
    }
    for (const AddressRange& range : survey.not_compared)
        lines << columns(range, QStringLiteral("not compared: not named by every input"));
    lines << summary(survey);
    return lines;
}

bool save_survey_keep_file(const QString& path, const Survey& survey, const QStringList& inputs, QString* error)
{
    const QStringList notes = QStringList{QStringLiteral("Found by camera-station survey of %1:").arg(inputs.join(QStringLiteral(", ")))}
                              + survey_report(survey);
    return save_keep_file(path, survey.keep_map(), notes, error);
}

} // namespace station
