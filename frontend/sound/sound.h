// Playing a WAV file chosen on the Options sheet (its test buttons). Missing files, unreadable
// ones and a machine without audio change nothing but the answer.
#pragma once

#include <functional>
#include <string>

// Plays file through the schedule's sound player; with wait, returns once the sound has ended
// (within the player's bound). False when there is no such file.
bool playSoundFile(const std::string& file, bool wait);

// A test's replacement (file, wait); an empty function restores the real player.
void setSoundHook(std::function<bool(const std::string&, bool)> hook);
