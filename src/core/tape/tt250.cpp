#include "tape/tt250.h"

#include "tape/turbo.h"

namespace {

turbo_state tt250_decoder;

}  // namespace

int tt250_loader_find_name(unsigned char pulse, unsigned char *name, int restart)
{
    return turbo_loader_find_name(tt250_format, tt250_decoder, pulse, name, restart);
}

std::size_t tt250_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name)
{
    return turbo_loader_scan(tt250_format, tt250_decoder, samples, count, name);
}
