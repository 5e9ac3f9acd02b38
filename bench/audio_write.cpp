// Plays 10 s of 48 kHz stereo S16LE through naudio_audio_output_write in
// 20 ms chunks on the null sink of a private PulseAudio server, then writes
// the same through a system-sound stream while music is connected (every
// write dropped). Prints name=value lines.
//
//   cpu_per_audio_s      process CPU seconds (all threads) per second of audio
//   wall_per_audio_s     wall seconds per second of audio over the last 8 s,
//                        after start-up (stream creation, the server's
//                        buffer filling); real-time pacing gives 1.00
//   wall_total_s         the whole 10 s, start-up included
//
// The private server's null sink runs without rewinds: with rewinds it
// replays audio after every small underrun and plays slower than real time,
// which would measure the sink rather than the core.
#include "naudio/audio.h"
#include "private-pulse-server.h"

#include <audiolog/audiolog.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr uint32_t RATE = 48000;
constexpr uint32_t STEREO = 0x3;
constexpr size_t FRAMES_PER_CHUNK = RATE / 50;
constexpr size_t CHUNK_BYTES = FRAMES_PER_CHUNK * 4;
constexpr int CHUNKS = 500; // 10 s
constexpr double AUDIO_SECONDS = CHUNKS * 0.02;

double now(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::vector<int16_t> tone()
{
    std::vector<int16_t> pcm(FRAMES_PER_CHUNK * 2);
    for (size_t i = 0; i < FRAMES_PER_CHUNK; i++) {
        const auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000.0 * i / RATE));
        pcm[2 * i] = pcm[2 * i + 1] = v;
    }
    return pcm;
}

constexpr int STEADY_FROM = 100; // chunks: the first 2 s are start-up

struct Run {
    double cpu = 0;
    double wall = 0;
    double steadyWall = 0;
    double maxWriteMs = 0;
};

Run play(NAudioHandle *h, int slot, const std::vector<int16_t> &pcm)
{
    Run r;
    const double cpu0 = now(CLOCK_PROCESS_CPUTIME_ID), wall0 = now(CLOCK_MONOTONIC);
    double steadyStart = wall0;
    for (int i = 0; i < CHUNKS; i++) {
        const double before = now(CLOCK_MONOTONIC);
        if (i == STEADY_FROM)
            steadyStart = before;
        naudio_audio_output_write(h, slot, pcm.data(), CHUNK_BYTES);
        if (i >= STEADY_FROM)
            r.maxWriteMs = std::max(r.maxWriteMs, (now(CLOCK_MONOTONIC) - before) * 1000);
    }
    const double wall1 = now(CLOCK_MONOTONIC);
    r.cpu = now(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    r.wall = wall1 - wall0;
    r.steadyWall = wall1 - steadyStart;
    return r;
}

} // namespace

int main()
{
    audiolog_set_default_level(AUDIOLOG_LEVEL_WARN);
    PrivatePulseServer server;
    if (!server.start()) {
        fprintf(stderr, "audio_write: could not start a private pulseaudio\n");
        return 1;
    }
    server.exportToEnvironment();

    NAudioHandle *h = naudio_audio_new(nullptr);
    const auto pcm = tone();
    const int music = naudio_audio_open_output(h, 1, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    const int system = naudio_audio_open_output(h, 2, 0, NAUDIO_STREAM_TYPE_SYSTEM, RATE, STEREO);
    if (music < 0 || system < 0) {
        fprintf(stderr, "audio_write: open failed\n");
        naudio_audio_free(h);
        return 1;
    }

    const Run m = play(h, music, pcm);
    printf("audio_seconds=%.2f\n", AUDIO_SECONDS);
    printf("chunk_ms=20\n");
    printf("music_cpu_per_audio_s=%.5f\n", m.cpu / AUDIO_SECONDS);
    printf("music_wall_total_s=%.3f\n", m.wall);
    printf("music_wall_per_audio_s=%.4f\n", m.steadyWall / ((CHUNKS - STEADY_FROM) * 0.02));
    printf("music_max_write_ms=%.1f\n", m.maxWriteMs);

    // Music stays connected: every system-sound write is dropped at once.
    const Run s = play(h, system, pcm);
    printf("system_dropped_cpu_per_audio_s=%.7f\n", s.cpu / AUDIO_SECONDS);
    printf("system_dropped_wall_per_audio_s=%.7f\n", s.wall / AUDIO_SECONDS);

    naudio_audio_free(h);
    return 0;
}
