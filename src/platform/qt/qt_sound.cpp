#include "platform/qt/qt_sound.h"

#include <alsa/asoundlib.h>

#include <cstdint>

namespace domora {

namespace {

std::uint32_t little_endian(const QByteArray& b, int at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

}  // namespace

void play_wav(QByteArray wav) {
    if (wav.size() < 44 || wav.mid(0, 4) != "RIFF" || wav.mid(8, 4) != "WAVE") return;
    int channels = 1, rate = 22050, bits = 16;
    int at = 12;
    QByteArray samples;
    while (at + 8 <= wav.size()) {
        const QByteArray id = wav.mid(at, 4);
        const std::uint32_t size = little_endian(wav, at + 4, 4);
        if (size > static_cast<std::uint32_t>(wav.size() - at - 8)) break;
        if (id == "fmt " && size >= 16) {
            channels = static_cast<int>(little_endian(wav, at + 10, 2));
            rate = static_cast<int>(little_endian(wav, at + 12, 4));
            bits = static_cast<int>(little_endian(wav, at + 22, 2));
        } else if (id == "data") {
            samples = wav.mid(at + 8, static_cast<int>(size));
        }
        at += 8 + static_cast<int>(size) + static_cast<int>(size & 1);
    }
    if (samples.isEmpty() || bits != 16 || channels < 1 || channels > 2) return;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(channels),
                           static_cast<unsigned>(rate), 1, 200000) == 0) {
        const snd_pcm_uframes_t frames = static_cast<snd_pcm_uframes_t>(samples.size() / (2 * channels));
        if (snd_pcm_writei(pcm, samples.constData(), frames) >= 0) snd_pcm_drain(pcm);
    }
    snd_pcm_close(pcm);
}

}  // namespace domora
