// Writes the program's sounds as WAV files; run at build time so the sounds in the program
// always match their generator.
#include "alert_sound_wave.h"

#include <cstdio>
#include <cstring>
#include <fstream>

int main(int argc, char** argv) {
    // The chime unless another sound is named.
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav [alert|line|visitor]\n", argv[0]);
        return 2;
    }
    const char* which = argc == 3 ? argv[2] : "alert";
    std::string wave;
    if (std::strcmp(which, "alert") == 0)
        wave = olvex::MakeAlertWave();
    else if (std::strcmp(which, "line") == 0)
        wave = olvex::MakeLineWave();
    else if (std::strcmp(which, "visitor") == 0)
        wave = olvex::MakeVisitorWave();
    else {
        std::fprintf(stderr, "unknown sound: %s\n", which);
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(wave.data(), static_cast<std::streamsize>(wave.size()));
    out.close();
    return out ? 0 : 1;
}
