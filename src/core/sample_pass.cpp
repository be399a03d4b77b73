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
    pass->tape_file = nullptr;
}

static void post_file_record(void *context, const tape_file_event *event)
{
    handoff_post(static_cast<sample_pass *>(context)->tape_file, g_memdup2(event, sizeof *event));
}

void sample_pass_list_files(sample_pass *pass, GSourceFunc tape_file)
{
    pass->tape_file = tape_file;
    tape_index_init(&pass->index, post_file_record, pass);
}

void sample_pass_feed(sample_pass *pass, unsigned short sample)
{
    sample_pass_take(pass, &sample, 1);
}

// The name finder and the tape index, sample by sample: a name's tape time is
// the sum up to its own last pulse.
static void find_names(sample_pass *pass, const unsigned short *samples, unsigned count)
{
    guint64 tape_ticks = pass->tape_ticks;
    for (unsigned i = 0; i < count; i++) {
        const unsigned short sample = samples[i];
        tape_ticks += sample;
        const int found = name_finder_feed(&pass->finder, sample);
        if (found && pass->print_name) {
            auto *name = g_new(sample_pass_name, 1);
            memcpy(name->name, pass->finder.name, sizeof name->name);
            name->loader = pass->finder.loader;
            name->tape_ticks = tape_ticks;
            handoff_post(pass->print_name, name);
        }
        if (pass->tape_file)
            tape_index_feed(&pass->index, sample, found ? &pass->finder : nullptr);
    }
    pass->tape_ticks = tape_ticks;
}

void sample_pass_take(void *context, const unsigned short *samples, unsigned count)
{
    auto *pass = static_cast<sample_pass *>(context);
    plot_add_samples(&pass->tick_sum, samples, count);
    find_names(pass, samples, count);
    pass->samples += count;
}

void sample_pass_finish(sample_pass *pass)
{
    if (pass->tape_file)
        tape_index_finish(&pass->index);
}

