#pragma once
// A short sound on PASS and a different one on FAIL. Two small WAV files are generated once and
// played by the desktop's own player (paplay, else aplay) as a detached process, so the window
// never waits for a sound; without a player the window beeps instead (the same beep for both).

#include <QString>
#include <QTemporaryDir>

namespace station_window {

class Sounds {
public:
    void set_enabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    void pass();
    void fail();

private:
    void play(const char* name, const QList<int>& tones_hz);

    bool enabled_ = true;
    QString player_; // found on first use
    bool looked_for_player_ = false;
    QTemporaryDir folder_;
};

} // namespace station_window
