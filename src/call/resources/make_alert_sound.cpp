// Writes the call alert's chime as a WAV file; run at build time so the
// sound in the program always matches its generator.
#include "alert_sound_wave.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const std::string wave = olvex::MakeAlertWave();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(wave.data(), static_cast<std::streamsize>(wave.size()));
    out.close();
    return out ? 0 : 1;
}
