#include "sample_pass.h"

#include "handoff.h"
#include "plot.h"

void sample_pass_init(sample_pass *pass, GSourceFunc print_name)
{
    pass->tick_sum = 0;
    pass->tape_ticks = 0;
    name_finder_init(&pass->finder);
    pass->print_name = print_name;
}

void sample_pass_feed(sample_pass *pass, unsigned short sample)
{
    pass->tape_ticks += sample;
    plot_add_sample(&pass->tick_sum, sample);
    if (name_finder_feed(&pass->finder, sample) && pass->print_name)
        handoff_post(pass->print_name, g_memdup2(pass->finder.name, sizeof pass->finder.name));
}

void sample_pass_take(void *context, unsigned short sample)
{
    sample_pass_feed(static_cast<sample_pass *>(context), sample);
}
