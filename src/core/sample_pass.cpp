#include "sample_pass.h"

#include "handoff.h"
#include "plot.h"

#include <cstring>

void sample_pass_init(sample_pass *pass, GSourceFunc print_name)
{
    pass->tick_sum = 0;
    pass->tape_ticks = 0;
    pass->samples = 0;
    name_finder_init(&pass->finder);
    pass->print_name = print_name;
}

void sample_pass_feed(sample_pass *pass, unsigned short sample)
{
    pass->tape_ticks += sample;
    ++pass->samples;
    plot_add_sample(&pass->tick_sum, sample);
    if (name_finder_feed(&pass->finder, sample) && pass->print_name) {
        auto *found = g_new(sample_pass_name, 1);
        memcpy(found->name, pass->finder.name, sizeof found->name);
        found->loader = pass->finder.loader;
        found->tape_ticks = pass->tape_ticks;
        handoff_post(pass->print_name, found);
    }
}

void sample_pass_take(void *context, unsigned short sample)
{
    sample_pass_feed(static_cast<sample_pass *>(context), sample);
}
