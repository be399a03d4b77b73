#include "tape/turrican.h"

#include "tape/turbo.h"

namespace {

turbo_state decoder;

}  // namespace

int turrican_loader_find_name(unsigned char pulse, unsigned char *name, int restart)
{
    return turbo_loader_find_name(turrican_format, decoder, pulse, name, restart);
}

std::size_t turrican_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name)
{
    return turbo_loader_scan(turrican_format, decoder, samples, count, name);
}
