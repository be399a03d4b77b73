#include "tape/tape_index.h"

#include "translate.h"
#include "tape/turbo_format.h"

#include <cstring>

namespace {

// Pulses from a Turrican header's first sync byte to the pulse after its name.
constexpr uint32_t turrican_header_pulses = turbo_pulses_to_name_end(turrican_format);
static_assert(turrican_header_pulses < tape_index_recent_samples);
static_assert(tape_index_recent_samples % tape_index_batch == 0);

void send(tape_index *index, tape_loader loader, const tape_file_record &file, uint32_t sequence)
{
    tape_file_event event{};
    event.sequence = sequence;
    event.loader = loader;
    event.tick = file.tick;
    event.first_tick = file.first_tick;
    event.end_tick = file.end_tick;
    std::memcpy(event.name, file.name, 16);
    event.verdict = file.verdict;
    if (index->health)
        tape_health_file(index->health, loader, file.tick, &event.health);
    if (file.verdict == tape_verdict_reading || file.verdict == tape_verdict_not_checked)
        index->listed = event;
    if (file.program) {
        event.load_address = file.load_address;
        event.program_length = file.program_length;
        event.program = file.program;
    }
    if (index->sink)
        index->sink(index->context, &event);
}

void rom_file_news(void *context, const tape_file_record *file)
{
    tape_index *index = static_cast<tape_index *>(context);
    if (file->verdict == tape_verdict_reading)
        index->rom_sequence = ++index->sequence;
    send(index, tape_loader_rom, *file, index->rom_sequence);
}

void tt250_file_news(void *context, const tape_file_record *file)
{
    tape_index *index = static_cast<tape_index *>(context);
    if (file->verdict == tape_verdict_reading)
        index->tt250_sequence = ++index->sequence;
    send(index, tape_loader_tt250, *file, index->tt250_sequence);
}

// Where the pulse `pulses` before the last one fed began, all of them read.
uint64_t tick_before(const tape_index *index, uint32_t pulses)
{
    const uint32_t back_samples = pulses + 1 < index->samples_seen ? pulses + 1 : uint32_t(index->samples_seen);
    uint64_t back = 0;
    for (uint32_t i = 1; i <= back_samples; ++i)
        back += index->recent[(index->samples_seen - i) % tape_index_recent_samples];
    return index->tick - back;
}

}  // namespace

void tape_index_catch_up(tape_index *index, const name_finder *name_found)
{
    while (index->samples_read != index->samples_seen) {
        const uint32_t at = uint32_t(index->samples_read % tape_index_recent_samples);
        const uint32_t in_a_row = tape_index_recent_samples - at;
        const uint64_t waiting = index->samples_seen - index->samples_read;
        const uint32_t count = waiting < in_a_row ? uint32_t(waiting) : in_a_row;
        tt250_files_read(&index->tt250, index->recent + at, count, index->tick);
        index->tick = rom_files_read(&index->rom, index->recent + at, count, index->tick);
        index->samples_read += count;
    }
    if (!name_found || name_found->loader != tape_loader_turrican)
        return; // the block readers list these files themselves
    tape_file_record file{};
    file.tick = tick_before(index, turrican_header_pulses);
    // Its lead-in is the file's too, as far as the health measure followed it.
    file.first_tick = index->health ? tape_health_pilot_start(index->health, tape_loader_turrican, file.tick) : file.tick;
    file.end_tick = index->tick;
    std::memcpy(file.name, name_found->name, 16);
    file.verdict = tape_verdict_not_checked;
    send(index, tape_loader_turrican, file, ++index->sequence);
}

uint32_t tape_index_file_of_name(const tape_index *index, const name_finder *found, uint32_t after_sequence,
                                 uint64_t *tick)
{
    const tape_file_event &listed = index->listed;
    if (listed.sequence <= after_sequence || listed.loader != found->loader ||
        std::memcmp(listed.name, found->name, 16) != 0)
        return 0;
    *tick = listed.tick;
    return listed.sequence;
}

void tape_index_feed_samples(tape_index *index, const unsigned short *samples, std::size_t count)
{
    // A batch ends on a multiple of the ring's size, so each piece lies in
    // one stretch of the ring.
    while (count > 0) {
        const uint32_t room = tape_index_batch - uint32_t(index->samples_seen % tape_index_batch);
        const uint32_t piece = count < room ? static_cast<uint32_t>(count) : room;
        std::memcpy(index->recent + index->samples_seen % tape_index_recent_samples, samples,
                    piece * sizeof *samples);
        index->samples_seen += piece;
        samples += piece;
        count -= piece;
        if (index->samples_seen % tape_index_batch == 0)
            tape_index_catch_up(index, nullptr);
    }
}

void tape_index_init(tape_index *index, tape_file_sink sink, void *context)
{
    index->tick = 0;
    index->samples_seen = 0;
    index->samples_read = 0;
    index->sequence = 0;
    index->rom_sequence = 0;
    index->tt250_sequence = 0;
    index->sink = sink;
    index->context = context;
    index->health = nullptr;
    index->listed = tape_file_event{};
    rom_files_init(&index->rom, rom_file_news, index);
    tt250_files_init(&index->tt250, tt250_file_news, index);
}

void tape_index_finish(tape_index *index)
{
    tape_index_catch_up(index, nullptr);
    rom_files_finish(&index->rom);
    tt250_files_finish(&index->tt250);
}

const char *tape_loader_text(tape_loader loader)
{
    switch (loader) {
    case tape_loader_rom:
        return N_("ROM");
    case tape_loader_tt250:
        return N_("Turbo Tape 250");
    case tape_loader_turrican:
        return N_("Turrican");
    }
    return "";
}

const char *tape_verdict_text(tape_verdict verdict)
{
    switch (verdict) {
    case tape_verdict_reading:
        return N_("reading...");
    case tape_verdict_good:
        return N_("good");
    case tape_verdict_repaired:
        return N_("repaired");
    case tape_verdict_bad:
        return N_("bad");
    case tape_verdict_not_checked:
        return N_("not checked");
    case tape_verdict_cut_short:
        return N_("cut short");
    case tape_verdict_rescued:
        return N_("rescued");
    }
    return "";
}
