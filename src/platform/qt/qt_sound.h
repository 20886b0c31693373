// The program's one sound, played through ALSA.
#pragma once

#include <QtCore/QByteArray>

namespace domora {

// Plays 16-bit PCM WAV data through ALSA's default device and returns when it
// has finished; any failure is silent. Meant for a thread of its own.
void play_wav(QByteArray wav);

}  // namespace domora
