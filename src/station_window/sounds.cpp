#include "station_window/sounds.h"

#include <QApplication>
#include <QDataStream>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cmath>
#include <numbers>

namespace station_window {
namespace {

constexpr int kRate = 22050;
constexpr int kToneMs = 150;
constexpr double kVolume = 0.4 * 32767;

// 16-bit mono PCM: each tone for kToneMs, one after the other.
QByteArray wav(const QList<int>& tones_hz)
{
    QByteArray samples;
    QDataStream pcm(&samples, QIODevice::WriteOnly);
    pcm.setByteOrder(QDataStream::LittleEndian);
    const int per_tone = kRate * kToneMs / 1000;
    for (int hz : tones_hz) {
        for (int i = 0; i < per_tone; ++i) {
            const double fade = std::min(1.0, (per_tone - i) / (0.2 * per_tone)); // no click at the end
            pcm << static_cast<qint16>(kVolume * fade * std::sin(2 * std::numbers::pi * hz * i / kRate));
        }
    }
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const auto size = static_cast<quint32>(samples.size());
    out.writeRawData("RIFF", 4);
    out << quint32(36 + size);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(kRate) << quint32(kRate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << size;
    return file + samples;
}

} // namespace

void Sounds::pass() { play("pass.wav", {1320}); }

void Sounds::fail() { play("fail.wav", {330, 220}); }

void Sounds::play(const char* name, const QList<int>& tones_hz)
{
    if (!enabled_) return;
    if (!looked_for_player_) {
        looked_for_player_ = true;
        player_ = QStandardPaths::findExecutable(QStringLiteral("paplay"));
        if (player_.isEmpty()) player_ = QStandardPaths::findExecutable(QStringLiteral("aplay"));
    }
    const QString path = folder_.filePath(QString::fromLatin1(name));
    if (!player_.isEmpty() && !QFile::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(wav(tones_hz));
    }
    QStringList arguments{path};
    if (player_.endsWith(QStringLiteral("aplay"))) arguments.prepend(QStringLiteral("-q"));
    if (player_.isEmpty() || !QProcess::startDetached(player_, arguments)) QApplication::beep();
}

} // namespace station_window
