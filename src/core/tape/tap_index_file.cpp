#include "tape/tap_index_file.h"

#include "staged_file.h"
#include "tape/petscii.h"
#include "tape/tap_writer.h"
#include "tape/rom_format.h"
#include "tape/turbo_format.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t name_length_max = 27;
constexpr size_t file_size_limit = 8192;
// Runs shorter than this are no pilot or lead-in (a byte holds at most two
// short pulses in a row; a lead-in lasts hundreds of bytes).
constexpr uint32_t pilot_pulses_min = rom_block_pilot_pulses;

bool is_rom_short(unsigned short sample)
{
    return sample_in_window(sample, rom_short_pulse);
}

bool is_turbo(unsigned short sample)
{
    return sample_in_window(sample, tt250_format.zero_pulse) || sample_in_window(sample, tt250_format.one_pulse) ||
           sample_in_window(sample, turrican_format.zero_pulse) || sample_in_window(sample, turrican_format.one_pulse);
}

// Follows one kind of run: a sample of the kind extends the run under way or
// begins one; any other ends it, and a run long enough is kept.
void follow(tap_index_run *run, tap_index_run *ended, uint32_t *ended_count, bool of_kind, uint64_t tick,
            uint64_t offset)
{
    if (of_kind) {
        if (run->pulses++ == 0) {
            run->tick = tick;
            run->offset = offset;
        }
        return;
    }
    if (run->pulses >= pilot_pulses_min)
        ended[(*ended_count)++ % 4] = *run;
    run->pulses = 0;
}

// The offset of the newest run that began at or before tick: the one under
// way, else one that ended. 20, the first entry, when there is none.
uint64_t run_start(const tap_index_run &current, const tap_index_run *ended, uint32_t ended_count, uint64_t tick)
{
    if (current.pulses >= pilot_pulses_min && current.tick <= tick)
        return current.offset;
    for (uint32_t back = 0; back < 4 && back < ended_count; ++back) {
        const tap_index_run &run = ended[(ended_count - 1 - back) % 4];
        if (run.tick <= tick)
            return run.offset;
    }
    return 20;
}

// The entry of the sample that begins at tick, among the places kept (the
// oldest kept when it is older).
uint64_t offset_at(const tap_index_builder *b, uint64_t tick)
{
    const uint64_t kept = std::min<uint64_t>(b->places_kept, tap_index_places);
    if (kept == 0)
        return TAP_HEADER_SIZE;
    uint64_t low = b->places_kept - kept, high = b->places_kept - 1;
    while (low < high) {
        const uint64_t middle = low + (high - low + 1) / 2;
        if (b->places[middle % tap_index_places].tick <= tick)
            low = middle;
        else
            high = middle - 1;
    }
    return b->places[low % tap_index_places].offset;
}

std::string shown_name(const unsigned char raw[17])
{
    unsigned char name[17];
    std::memcpy(name, raw, sizeof name);
    char shown[17];
    petscii_printable_name(name, shown);
    std::string text = shown;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.empty())
        text = "unnamed";
    return text.substr(0, name_length_max);
}

void take(void *context, const tape_file_event *event)
{
    auto *b = static_cast<tap_index_builder *>(context);
    if (event->verdict != tape_verdict_reading && event->verdict != tape_verdict_not_checked)
        return; // a judgement of a file listed already
    uint64_t offset = 0;
    if (event->loader == tape_loader_rom)
        offset = run_start(b->rom_run, b->rom_pilots, b->rom_pilots_ended, event->tick);
    else if (event->loader == tape_loader_tt250 || event->loader == tape_loader_turrican)
        offset = run_start(b->turbo_run, b->turbo_runs, b->turbo_runs_ended, event->tick);
    else
        offset = offset_at(b, event->first_tick);
    b->entries.push_back({offset, shown_name(event->name)});
}

}  // namespace

void tap_index_builder_init(tap_index_builder *builder)
{
    name_finder_init(&builder->finder);
    tape_index_init(&builder->index, take, builder);
    builder->tick = 0;
    builder->rom_run = builder->turbo_run = tap_index_run{};
    builder->rom_pilots_ended = builder->turbo_runs_ended = 0;
    builder->places_kept = 0;
    builder->entries.clear();
}

void tap_index_builder_feed(tap_index_builder *b, unsigned short sample, uint64_t offset)
{
    follow(&b->rom_run, b->rom_pilots, &b->rom_pilots_ended, is_rom_short(sample), b->tick, offset);
    follow(&b->turbo_run, b->turbo_runs, &b->turbo_runs_ended, is_turbo(sample), b->tick, offset);
    b->places[b->places_kept++ % tap_index_places] = {b->tick, offset};
    b->tick += sample;
    tape_index_feed(&b->index, sample, name_finder_feed(&b->finder, sample) ? &b->finder : nullptr);
}

void tap_index_builder_finish(tap_index_builder *builder)
{
    tape_index_finish(&builder->index);
}

std::string tap_index_text(const char *image_name, const std::vector<tap_index_entry> &entries)
{
    std::string image = image_name;
    for (char &c : image)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '_';
    std::string text = "; " + image + "\n";
    for (const tap_index_entry &entry : entries) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "0x%llX ", static_cast<unsigned long long>(entry.offset));
        const std::string line = offset + entry.name + "\n";
        if (text.size() + line.size() >= file_size_limit)
            break;
        text += line;
    }
    return text;
}

gchar *tap_index_path(const char *tap_path)
{
    const size_t length = std::strlen(tap_path);
    if (length >= 4 && g_ascii_strcasecmp(tap_path + length - 4, ".tap") == 0)
        return g_strdup_printf("%.*s.idx", int(length - 4), tap_path);
    return g_strdup_printf("%s.idx", tap_path);
}

int tap_index_write(const char *tap_path, const std::vector<tap_index_entry> &entries, int replace,
                    GError **error)
{
    gchar *path = tap_index_path(tap_path);
    gchar *image = g_path_get_basename(tap_path);
    const std::string text = tap_index_text(image, entries);
    g_free(image);
    staged_file *file = replace ? staged_file_create(path, error) : staged_file_create_new(path, error);
    g_free(path);
    if (!file)
        return 0;
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t got = write(file->fd, text.data() + written, text.size() - written);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const int reason = got < 0 ? errno : EIO;
            g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(reason), g_strerror(reason));
            staged_file_discard(file);
            return 0;
        }
        written += size_t(got);
    }
    return staged_file_commit(file, error);
}
