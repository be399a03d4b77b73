#include "tape/name_finder.h"

#include "tape/loader_table.h"
#include "tape/pulse_window.h"
#include "tape/rom.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include <cstring>

namespace {

// The three decoders, the capture worker's or the finder's own.
int rom_find(name_finder *f, unsigned char pulse)
{
    return f->captures ? rom_loader_find_name(pulse, f->name, f->restart)
                       : rom_name_decoder_find_name(&f->own.rom, pulse, f->name, f->restart);
}

int tt250_find(name_finder *f, unsigned char pulse)
{
    return f->captures ? tt250_loader_find_name(pulse, f->name, f->restart)
                       : turbo_loader_find_name(tt250_format, f->own.tt250, pulse, f->name, f->restart);
}

int turrican_find(name_finder *f, unsigned char pulse)
{
    return f->captures ? turrican_loader_find_name(pulse, f->name, f->restart)
                       : turbo_loader_find_name(turrican_format, f->own.turrican, pulse, f->name, f->restart);
}

std::size_t rom_scan(name_finder *f, const unsigned short *samples, std::size_t count)
{
    return f->captures ? rom_loader_scan(samples, count, f->name)
                       : rom_name_decoder_scan(&f->own.rom, samples, count, f->name);
}

std::size_t tt250_scan(name_finder *f, const unsigned short *samples, std::size_t count)
{
    return f->captures ? tt250_loader_scan(samples, count, f->name)
                       : turbo_loader_scan(tt250_format, f->own.tt250, samples, count, f->name);
}

std::size_t turrican_scan(name_finder *f, const unsigned short *samples, std::size_t count)
{
    return f->captures ? turrican_loader_scan(samples, count, f->name)
                       : turbo_loader_scan(turrican_format, f->own.turrican, samples, count, f->name);
}

}  // namespace

void name_finder_init(name_finder *finder)
{
    std::memset(finder->name, 0, sizeof finder->name);
    finder->restart = 0;
    finder->loader = tape_loader_rom;
    finder->captures = false;
    finder->own = name_decoders{};
}

void name_finder_init_for_captures(name_finder *finder)
{
    name_finder_init(finder);
    finder->captures = true;
}

int name_finder_feed(name_finder *finder, unsigned short sample)
{
    const unsigned char pulse = pulse_of_sample(sample);
    int found = 1;
    if (rom_find(finder, pulse))
        finder->loader = tape_loader_rom;
    else if (tt250_find(finder, pulse))
        finder->loader = tape_loader_tt250;
    else if (turrican_find(finder, pulse))
        finder->loader = tape_loader_turrican;
    else
        found = 0;
    if (found)
        finder->name[16] = 0;
    finder->restart = found;
    return found;
}

std::size_t name_finder_scan(name_finder *finder, const unsigned short *samples, std::size_t count, int *found)
{
    *found = 0;
    if (count == 0)
        return 0;
    std::size_t start = 0;
    if (finder->restart) {
        name_finder_feed(finder, samples[0]);  // restarts all three searches; finds nothing
        start = 1;
    }
    samples += start;
    count -= start;
    // Each decoder looks only at the pulses before the earliest name found so
    // far, so the earliest name wins and, on one pulse, the decoders' order
    // does. A decoder that ran past that name is restarted by the next pulse,
    // which is all the one-by-one order would have left of its state.
    std::size_t found_at = rom_scan(finder, samples, count);
    if (found_at)
        finder->loader = tape_loader_rom;
    if (std::size_t at = tt250_scan(finder, samples, found_at ? found_at - 1 : count)) {
        found_at = at;
        finder->loader = tape_loader_tt250;
    }
    if (std::size_t at = turrican_scan(finder, samples, found_at ? found_at - 1 : count)) {
        found_at = at;
        finder->loader = tape_loader_turrican;
    }
    if (!found_at)
        return start + count;
    finder->name[16] = 0;
    finder->restart = 1;
    *found = 1;
    return start + found_at;
}

const char *name_loader_label(tape_loader loader)
{
    return tape_loader_word(loader);
}
