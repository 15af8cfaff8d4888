#pragma once
// What tells one camera from another through a job, and what it keeps of its own: the camera's
// words that the write does not set (the addresses the file does not name, 1023 for a file that
// Camera->PC wrote, and the kept addresses of a keep map), each with the word seen there. Read
// before the write and again after the restart, they show whether the camera that answers is
// still the one written, and whether its kept words came through unchanged.

#include "station/keep_map.h"
#include "station/master_file.h"

#include <QList>
#include <QString>

#include <map>
#include <optional>

namespace station {

// The address a probe reads when a job names no word to watch.
constexpr int kLastAddress = data_file::kWords - 1;

class Fingerprint {
public:
    void add(int address, int word) { words_[address] = word; }
    bool empty() const { return words_.empty(); }
    const std::map<int, int>& words() const { return words_; }

    // "the camera changed during the job: word 0x03FF was 1234, now 5678" for the first address
    // whose word differs in `now`; empty when none does.
    QString change_to(const Fingerprint& now) const;
    // Every address whose word differs in (or is missing from) `now`, ascending.
    QList<int> changed_in(const Fingerprint& now) const;
    // "kept word 0x0105 changed: before 1234, after 22F0" for the first kept word that differs
    // in `now` (with how many did, when more than one); empty when none does.
    QString kept_change_to(const Fingerprint& now) const;

private:
    std::map<int, int> words_; // address -> word
};

// What a write of `file` keeping `keep` sets in a camera: the file's words, and kNotNamed at the
// kept addresses, where the camera keeps its own. The block carries these (the camera's own words
// elsewhere), single mode sends their records, and the read-back compares them.
WordMap written_words(const MasterFile& file, const KeepMap& keep);

// The camera's own words that a job reads in one pass before the write and again after the
// restart, in two parts. The words the file does not name identify the camera: a difference
// there after the restart is another camera. When the file names every word, the kept words are
// all that can tell cameras apart and identify it instead. The other kept words belong to the
// same camera: a difference there is a kept word the camera changed.
struct OwnWords {
    QList<int> identity; // ascending
    QList<int> kept;     // ascending; kept words the file names, unless they identify the camera
    QList<int> all() const;
};

OwnWords own_words(const MasterFile& file, const KeepMap& keep);

// The address a line watches a camera by, between its job and its unplugging: the highest of
// the words that identify it; nothing when there are none (cameras cannot be told apart).
std::optional<int> watched_address(const MasterFile& file, const KeepMap& keep);

} // namespace station
