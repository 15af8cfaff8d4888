#pragma once
// The comparison behind `survey`: given the memories of several cameras of one product, the
// addresses whose words differ between them, the candidates for a keep map.
//
// At each address the cameras that differ are those whose word is not the most common word there:
// the number of inputs minus the number of inputs holding the most common word. One camera with
// its own word among three that agree is "1 of 3"; three cameras with three words are "2 of 3";
// with ties the count is the same whichever of the tied words is taken. An address that some input
// does not name (a data file names fewer than all 1024 words) is not compared and is reported apart.

#include "station/keep_map.h"
#include "station/master_file.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace station {

struct SurveyRange {
    AddressRange range;
    int differing = 0; // cameras whose word at each address of the range is not the most common one
    bool operator==(const SurveyRange&) const = default;
};

struct Survey {
    int cameras = 0;
    // Runs of adjacent addresses with the same count, ascending; a run ends where the count changes.
    QList<SurveyRange> differing;
    // Runs of adjacent addresses that some input does not name.
    QList<AddressRange> not_compared;

    // The differing addresses as a keep map.
    KeepMap keep_map() const;
};

Survey survey_words(const QList<WordMap>& memories);

// One line per range, differing ranges first, then those not compared, then a summary with the
// keep map to give --keep:
//   0x0100-0x011F  32 words    2 of 3 cameras differ from the most common word
//   0x03FF         1 word      not compared: not named by every input
//   3 cameras: 32 words differ, keep map 0x0100-0x011F; 1 word not compared
QStringList survey_report(const Survey& survey);

// The keep file of --keep-out: the differing addresses, with the inputs and the report as comments.
bool save_survey_keep_file(const QString& path, const Survey& survey, const QStringList& inputs, QString* error);

} // namespace station
