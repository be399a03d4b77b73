#include "tape_testing.h"

#include "tape/name_finder.h"
#include "tape/petscii.h"
#include "tape/rom.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

namespace {

// 0 is in no class of any format: a restart on it leaves no pilot pulse
// counted and an empty shift register.
constexpr unsigned char pulse_in_no_class = 0;

decoded_name make_found(size_t at, const unsigned char *name)
{
    decoded_name found{at, {}, {}};
    std::memcpy(found.raw.data(), name, 16);
    unsigned char copy[17];
    std::memcpy(copy, name, 16);
    copy[16] = 0;
    char shown[17];
    petscii_printable_name(copy, shown);
    found.shown = shown;
    return found;
}

}  // namespace

void decoders_restart(void)
{
    unsigned char scratch[17];
    rom_loader_find_name(pulse_in_no_class, scratch, 1);
    tt250_loader_find_name(pulse_in_no_class, scratch, 1);
    turrican_loader_find_name(pulse_in_no_class, scratch, 1);
}

std::vector<unsigned char> pulse_bytes(const std::vector<unsigned short> &samples)
{
    std::vector<unsigned char> pulses;
    pulses.reserve(samples.size());
    for (unsigned short sample : samples)
        pulses.push_back(static_cast<unsigned char>((sample / 8) & 0xFF));
    return pulses;
}

std::vector<decoded_name> run_decoder(decoder_function decoder, const std::vector<unsigned char> &pulses)
{
    std::vector<decoded_name> found;
    unsigned char name[17] = {};
    decoder(pulse_in_no_class, name, 1);
    int restart = 0;
    for (size_t at = 0; at < pulses.size(); ++at) {
        restart = decoder(pulses[at], name, restart);
        if (restart)
            found.push_back(make_found(at, name));
    }
    return found;
}

std::vector<decoded_name> run_name_finder(const std::vector<unsigned short> &samples)
{
    decoders_restart();
    std::vector<decoded_name> found;
    name_finder finder;
    name_finder_init(&finder);
    for (size_t at = 0; at < samples.size(); ++at)
        if (name_finder_feed(&finder, samples[at]))
            found.push_back(make_found(at, finder.name));
    return found;
}

std::array<unsigned char, 16> raw_name(const std::string &bytes)
{
    std::array<unsigned char, 16> name{};
    std::memcpy(name.data(), bytes.data(), std::min<size_t>(bytes.size(), 16));
    return name;
}

std::string real_tapes_folder(tape_home home)
{
    if (home == tape_home::repository)
        return ZR7K8_SOURCE_DIR "/tests/data/tapes";
    const char *override_dir = std::getenv("ZR7K8_TESTDATA_DIR");
    const std::string base = override_dir && *override_dir ? override_dir : ZR7K8_TESTDATA_DIR;
    const std::string tapes = base + "/tapes";
    return std::filesystem::is_directory(tapes) ? tapes : std::string();
}

std::vector<std::string> real_tape_paths(void)
{
    std::vector<std::string> paths;
    std::set<std::string> names;
    for (tape_home home : {tape_home::repository, tape_home::beside}) {
        const std::string folder = real_tapes_folder(home);
        if (folder.empty())
            continue;
        std::vector<std::filesystem::path> found;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".tap")
                found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        for (const auto &path : found)
            if (names.insert(path.filename().string()).second)
                paths.push_back(path.string());
    }
    return paths;
}

void tape_foreign_pulses(tape_synth *synth, uint64_t ticks)
{
    uint32_t bits = 0x1234567;
    for (uint64_t at = 0; at < ticks;) {
        bits = bits * 1103515245u + 12345u;
        const unsigned pulse = (bits >> 16) & 1 ? 1040 : 520;
        tape_synth_pulse(synth, pulse);
        at += pulse;
    }
}
