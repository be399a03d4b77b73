#include "tape/turrican.h"

#include "tape/turbo.h"

namespace {

constexpr turbo_format turrican_format{
    .one_pulse = {68, 27},    // 68..94, centre 81; tested first, so 68 is a 1
    .zero_pulse = {42, 27},   // 42..68, in effect 42..67
    .lead_in_byte = 0x02,
    .lead_in_bytes_min = 959,
    .sync_bytes = 12,         // 0x0C..0x01; identifier at byte 13, name at bytes 19..34
};

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
