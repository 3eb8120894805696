#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace olvex {

// The call alert's chime: PCM, mono, 22,050 samples per second, 16-bit,
// 19,443 samples (about 0.88 s). It starts and ends at silence so that it
// loops without a click.
inline constexpr int kAlertSampleRate = 22050;
inline constexpr size_t kAlertSampleCount = 19443;

// The whole WAV file: a 44-byte header followed by the samples.
std::string MakeAlertWave();

// Short event tones in the same format: a soft single blip for a new line in a call window
// in the background (about 0.12 s), and a rising two-note figure for a visitor entering the
// site (about 0.3 s). Both start and end at silence.
std::string MakeLineWave();
std::string MakeVisitorWave();

} // namespace olvex
