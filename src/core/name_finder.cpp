#include "name_finder.h"

#include "rom.h"
#include "tt250.h"
#include "turrican.h"

#include <cstring>

void name_finder_init(name_finder *finder)
{
    std::memset(finder->name, 0, sizeof finder->name);
    finder->restart = 0;
    finder->loader = tape_loader_rom;
}

int name_finder_feed(name_finder *finder, unsigned short sample)
{
    const unsigned char pulse = static_cast<unsigned char>(sample / 8);
    int found = 1;
    if (rom_loader_find_name(pulse, finder->name, finder->restart))
        finder->loader = tape_loader_rom;
    else if (tt250_loader_find_name(pulse, finder->name, finder->restart))
        finder->loader = tape_loader_tt250;
    else if (turrican_loader_find_name(pulse, finder->name, finder->restart))
        finder->loader = tape_loader_turrican;
    else
        found = 0;
    if (found)
        finder->name[16] = 0;
    finder->restart = found;
    return found;
}

const char *name_loader_label(tape_loader loader)
{
    switch (loader) {
    case tape_loader_tt250:
        return "tt250";
    case tape_loader_turrican:
        return "turrican";
    default:
        return "rom";
    }
}
