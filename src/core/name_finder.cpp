#include "name_finder.h"

#include "rom.h"
#include "tt250.h"
#include "turrican.h"

#include <cstring>

void name_finder_init(name_finder *finder)
{
    std::memset(finder->name, 0, sizeof finder->name);
    finder->restart = 0;
}

int name_finder_feed(name_finder *finder, unsigned short sample)
{
    const unsigned char pulse = static_cast<unsigned char>(sample / 8);
    const int found = rom_loader_find_name(pulse, finder->name, finder->restart) ||
                      tt250_loader_find_name(pulse, finder->name, finder->restart) ||
                      turrican_loader_find_name(pulse, finder->name, finder->restart);
    if (found)
        finder->name[16] = 0;
    finder->restart = found;
    return found;
}
