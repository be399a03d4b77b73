// Helpers for tests that feed tapes to the name decoders.
#pragma once

#include "tape_synth.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

using decoder_function = int (*)(unsigned char pulse, unsigned char *name, int restart);

// The three decoders keep their state across calls (and captures); a test
// restarts them to start from their search states with nothing counted.
void decoders_restart(void);

// The pulse byte of every sample (low 8 bits of sample / 8).
std::vector<unsigned char> pulse_bytes(const std::vector<unsigned short> &samples);

struct decoded_name {
    size_t at;                          // index of the pulse that completed it
    std::array<unsigned char, 16> raw;  // the name field as on tape
    std::string shown;                  // after the PETSCII filter
};

// Runs one decoder alone over pulses (restarting it first, and on the pulse
// after each name as the capture worker does).
std::vector<decoded_name> run_decoder(decoder_function decoder, const std::vector<unsigned char> &pulses);

// Runs the capture worker's decoder pass (name_finder) over samples after
// restarting the decoders.
std::vector<decoded_name> run_name_finder(const std::vector<unsigned short> &samples);

// 16 raw name bytes from a string literal that may hold any byte.
std::array<unsigned char, 16> raw_name(const std::string &bytes);

// Real tape images. Those whose licences allow it live in the repository
// and always run; the others are read from the test-material folder beside
// it ($ZR7K8_TESTDATA_DIR/tapes when that variable is set, else the build's
// test-data folder) when it is there.
enum class tape_home { repository, beside };

// The folder for tapes of that home; empty when a folder beside is missing.
std::string real_tapes_folder(tape_home home);

// Every tape image at hand: the repository's, then those beside it that the
// repository does not hold.
std::vector<std::string> real_tape_paths(void);

// Appends `ticks` of pulses of a loader none of ours reads (0x20 and 0x40
// TAP units, the bits at random), dense enough to carry data.
void tape_foreign_pulses(tape_synth *synth, uint64_t ticks);
