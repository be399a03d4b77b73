#include "tape/tt250.h"

#include "tape/turbo.h"

namespace {

constexpr turbo_format tt250_format{
    .one_pulse = {67, 29},    // 67..95, centre 81; tested first, so 67 is a 1
    .zero_pulse = {39, 29},   // 39..67, in effect 39..66
    .lead_in_byte = 0x02,
    .lead_in_bytes_min = 959, // the byte found by the alignment search included
    .sync_bytes = 9,          // 0x09..0x01; identifier at byte 10, name at bytes 16..31
};

turbo_state decoder;

}  // namespace

int tt250_loader_find_name(unsigned char pulse, unsigned char *name, int restart)
{
    return turbo_loader_find_name(tt250_format, decoder, pulse, name, restart);
}

std::size_t tt250_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name)
{
    return turbo_loader_scan(tt250_format, decoder, samples, count, name);
}
