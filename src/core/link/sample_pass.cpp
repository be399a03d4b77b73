#include "link/sample_pass.h"

#include "link/capture_progress.h"
#include "link/handoff.h"
#include "link/plot.h"
#include "sampling_options.h"
#include "tape/tape_input.h"
#include "tape/tape_read_control.h"

#include <cstring>

void sample_pass_init(sample_pass *pass, GSourceFunc print_name)
{
    pass->tick_sum = 0;
    pass->tape_ticks = 0;
    pass->samples = 0;
    name_finder_init(&pass->finder);
    pass->print_name = print_name;
    pass->tape_file = nullptr;
    pass->listing = false;
    pass->image_index = nullptr;
    pass->unread_stretch = nullptr;
    // The device's defaults.
    tape_health_init(&pass->health, machine_clock_hz(MACHINE_NUMBER_C64, VIDEO_STANDARD_PAL), 0);
}

void sample_pass_measure_for(sample_pass *pass, double clock_hz, int half_waves)
{
    tape_health_init(&pass->health, clock_hz, half_waves);
}

void sample_pass_measure_for_options(sample_pass *pass, const sampling_option_values *options)
{
    sample_pass_measure_for(pass, sampling_clock_hz(options), sampling_half_waves(options));
}

void sample_pass_use_capture_decoders(sample_pass *pass)
{
    name_finder_init_for_captures(&pass->finder);
}

// The program's bytes travel in the same block, right after the event, so
// the receiver frees both with one g_free.
static void post_file_record(void *context, const tape_file_event *event)
{
    auto *pass = static_cast<sample_pass *>(context);
    // What the record settles of the stretches unread goes first.
    tape_unread_file(&pass->unread, event);
    if (pass->image_index)
        tap_index_builder_take(pass->image_index, event);
    if (!pass->tape_file)
        return;
    auto *copy = static_cast<tape_file_event *>(g_malloc(sizeof *event + event->program_length));
    *copy = *event;
    if (event->program) {
        auto *bytes = reinterpret_cast<unsigned char *>(copy + 1);
        memcpy(bytes, event->program, event->program_length);
        copy->program = bytes;
    }
    handoff_post(pass->tape_file, copy);
}

static void post_unread_stretch(void *context, const tape_unread_stretch *stretch)
{
    auto *pass = static_cast<sample_pass *>(context);
    if (pass->unread_stretch)
        handoff_post(pass->unread_stretch, g_memdup2(stretch, sizeof *stretch));
}

void sample_pass_list_files(sample_pass *pass, GSourceFunc tape_file)
{
    pass->tape_file = tape_file;
    if (pass->listing)
        return;
    pass->listing = true;
    tape_index_init(&pass->index, post_file_record, pass);
    pass->index.health = &pass->health;
    tape_unread_init(&pass->unread, post_unread_stretch, pass);
}

void sample_pass_index_image(sample_pass *pass, tap_index_builder *image_index)
{
    sample_pass_list_files(pass, pass->tape_file);
    pass->image_index = image_index;
}

void sample_pass_list_unread(sample_pass *pass, GSourceFunc unread_stretch)
{
    pass->unread_stretch = unread_stretch;
}

guint64 sample_pass_read_ticks(const sample_pass *pass)
{
    return pass->listing ? tape_unread_read_ticks(&pass->unread) : 0;
}

// Takes samples that end with the one that completed a name (found) or hold
// none: their tape time, the tape index fed, the name handed over.
static void take_up_to_name(sample_pass *pass, const unsigned short *samples, std::size_t count, int found)
{
    guint64 tape_ticks = pass->tape_ticks;
    for (std::size_t i = 0; i < count; i++)
        tape_ticks += samples[i];
    pass->tape_ticks = tape_ticks;
    if (pass->listing)
        tape_index_feed_samples(&pass->index, samples, count);
    if (!found)
        return;
    auto *name = g_new(sample_pass_name, 1);
    memcpy(name->name, pass->finder.name, sizeof name->name);
    name->loader = pass->finder.loader;
    name->tape_ticks = tape_ticks;
    handoff_post(pass->print_name, name);
}

void sample_pass_take(void *context, const unsigned short *samples, unsigned count)
{
    auto *pass = static_cast<sample_pass *>(context);
    tape_health_feed(&pass->health, samples, count);
    plot_add_samples(&pass->tick_sum, samples, count);
    pass->samples += count;
    if (pass->listing)
        tape_unread_feed(&pass->unread, samples, count);
    if (!pass->print_name)
        take_up_to_name(pass, samples, count, 0);
    while (pass->print_name && count > 0) {
        int found;
        const std::size_t taken = name_finder_scan(&pass->finder, samples, count, &found);
        take_up_to_name(pass, samples, taken, found);
        samples += taken;
        count -= unsigned(taken);
    }
    if (pass->listing)
        tape_unread_listed_to(&pass->unread, pass->index.tick);
}

int sample_pass_read_file(sample_pass *pass, const char *path, const sampling_option_values *options,
                          tape_read_control *control, GError **error)
{
    tape_input *input = tape_input_open(path, 0, error);
    if (!input)
        return 0;
    if (const tape_tap_info *header = tape_input_tap_header(input))
        sample_pass_measure_for(pass, header->clock_hz, header->version == 2);
    else if (options)
        sample_pass_measure_for_options(pass, options);
    unsigned short block[4096];
    long got;
    bool stopped = false;
    guint64 health_news_seen = 0;
    while (!stopped && (got = tape_input_read(input, block, G_N_ELEMENTS(block), error)) > 0) {
        sample_pass_take(pass, block, unsigned(got));
        guint64 bytes = 0;
        guint64 size = 0;
        tape_input_progress(input, &bytes, &size);
        sample_pass_publish_progress(pass, bytes, &health_news_seen);
        stopped = tape_read_control_update(control, input);
    }
    tape_input_close(input);
    return stopped ? -1 : got == 0 ? 1 : 0;
}

void sample_pass_finish(sample_pass *pass)
{
    if (!pass->listing)
        return;
    tape_index_finish(&pass->index);
    tape_unread_finish(&pass->unread);
}


void sample_pass_publish_progress(const sample_pass *pass, guint64 bytes, guint64 *health_news_seen)
{
    capture_progress_publish(pass->tape_ticks, bytes);
    capture_progress_publish_pulses(pass->samples);
    const guint64 news = tape_health_news(&pass->health);
    if (news == *health_news_seen)
        return;
    *health_news_seen = news;
    tape_health_figures figures;
    tape_health_live(&pass->health, &figures);
    capture_progress_publish_health(&figures);
}
