#include "station/fingerprint.h"

#include "link/hex_text.h"

#include <algorithm>

namespace station {
namespace {

// The word `words` holds at `address`, or kNotNamed.
int word_in(const std::map<int, int>& words, int address)
{
    const auto seen = words.find(address);
    return seen == words.end() ? kNotNamed : seen->second;
}

QString word_text(int word) { return word == kNotNamed ? QStringLiteral("none") : hex_word_text(word); }

} // namespace

QString Fingerprint::change_to(const Fingerprint& now) const
{
    const QList<int> changed = changed_in(now);
    if (changed.isEmpty()) return {};
    const int address = changed.first();
    return QStringLiteral("the camera changed during the job: word %1 was %2, now %3")
        .arg(address_text(address), word_text(word_in(words_, address)), word_text(word_in(now.words_, address)));
}

QList<int> Fingerprint::changed_in(const Fingerprint& now) const
{
    QList<int> changed;
    for (const auto& [address, word] : words_)
        if (word_in(now.words_, address) != word) changed.append(address);
    return changed;
}

QString Fingerprint::kept_change_to(const Fingerprint& now) const
{
    const QList<int> changed = changed_in(now);
    if (changed.isEmpty()) return {};
    const int address = changed.first();
    QString text = QStringLiteral("kept word %1 changed: before %2, after %3")
                       .arg(address_text(address), word_text(word_in(words_, address)), word_text(word_in(now.words_, address)));
    if (changed.size() > 1) text += QStringLiteral(" (%1 kept words changed)").arg(changed.size());
    return text;
}

WordMap written_words(const MasterFile& file, const KeepMap& keep)
{
    WordMap words = file.words;
    for (int address : keep.addresses()) words[static_cast<std::size_t>(address)] = kNotNamed;
    return words;
}

QList<int> OwnWords::all() const
{
    QList<int> both = identity + kept;
    std::sort(both.begin(), both.end());
    return both;
}

OwnWords own_words(const MasterFile& file, const KeepMap& keep)
{
    OwnWords own;
    for (int a = 0; a < data_file::kWords; ++a)
        if (file.words[static_cast<std::size_t>(a)] == kNotNamed) own.identity.append(a);
    for (int address : keep.addresses())
        if (file.words[static_cast<std::size_t>(address)] != kNotNamed) own.kept.append(address);
    if (own.identity.isEmpty()) std::swap(own.identity, own.kept);
    return own;
}

std::optional<int> watched_address(const MasterFile& file, const KeepMap& keep)
{
    const QList<int> identity = own_words(file, keep).identity;
    if (identity.isEmpty()) return std::nullopt;
    return identity.last();
}

} // namespace station
