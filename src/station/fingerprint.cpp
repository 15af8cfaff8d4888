#include "station/fingerprint.h"

#include "link/hex_text.h"

namespace station {

QString Fingerprint::change_to(const Fingerprint& now) const
{
    for (const auto& [address, word] : words_) {
        const auto seen = now.words_.find(address);
        const QString now_text = seen == now.words_.end() ? QStringLiteral("none") : hex_word_text(seen->second);
        if (seen == now.words_.end() || seen->second != word)
            return QStringLiteral("the camera changed during the job: word %1 was %2, now %3")
                .arg(address_text(address), hex_word_text(word), now_text);
    }
    return {};
}

QList<int> fingerprint_addresses(const MasterFile& file)
{
    QList<int> addresses;
    for (int a = 0; a < data_file::kWords; ++a)
        if (file.words[static_cast<std::size_t>(a)] == kNotNamed) addresses.append(a);
    return addresses;
}

std::optional<int> watched_address(const MasterFile& file)
{
    const QList<int> addresses = fingerprint_addresses(file);
    if (addresses.isEmpty()) return std::nullopt;
    return addresses.last();
}

} // namespace station
