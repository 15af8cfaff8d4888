#pragma once
// What tells one camera from another through a job: the camera's own words that the write
// cannot change (the addresses the file does not name; 1023 for a file that Camera->PC wrote),
// each with the word seen there. Read before the write and again after the restart, they show
// whether the camera that answers is still the one written. Further words a job keeps can be
// added to the set.

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

private:
    std::map<int, int> words_; // address -> word
};

// The addresses of the fingerprint of a camera that gets `file`: those it does not name.
QList<int> fingerprint_addresses(const MasterFile& file);

// The address a line watches a camera by, between its job and its unplugging: the highest the
// file does not name; nothing when the file names every word (cameras cannot be told apart).
std::optional<int> watched_address(const MasterFile& file);

} // namespace station
