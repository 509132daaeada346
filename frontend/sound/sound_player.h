// The announcement and alarm sounds (WAV files, names relative to the working directory) and
// the beep. Every request can also be written, one line each, to the file named by the
// environment variable TARNWICK_SOUND_LOG ("beep", "announce <file>", "alarm <file>"), so
// that a test on a machine without speakers sees what would have sounded.
#pragma once

#include <memory>
#include <string>

class QSoundEffect;

class SoundPlayer {
public:
    SoundPlayer();
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Plays the file and returns when it has ended, or after kMaxWaitMs at the latest: a long
    // or broken file must not hold the tray. Messages keep flowing during the wait.
    void playAndWait(const std::string& file);
    // Starts the file and returns at once; a sound still playing from here is replaced.
    void playAsync(const std::string& file);
    // The desktop's beep.
    void beep();

    static constexpr int kMaxWaitMs = 4000;

private:
    bool playable(const std::string& file) const;
    std::unique_ptr<QSoundEffect> async_;
};

// Appends "<kind>" or "<kind> <file>" to $TARNWICK_SOUND_LOG when it is set.
void recordSoundRequest(const char* kind, const std::string& file = {});
