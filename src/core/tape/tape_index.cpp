#include "tape/tape_index.h"

#include "tape/loader_table.h"
#include "translate.h"

#include <cstring>

namespace {

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

void turbo_file_news(void *context, const loader_file *file)
{
    tape_index *index = static_cast<tape_index *>(context);
    if (file->record->verdict == tape_verdict_reading) {
        index->loader_sequence[file->loader] = ++index->sequence;
        // The pilot its reader measured, for the live figures and the file's.
        if (index->health)
            tape_health_add_pilot(index->health, file->loader, file->pilot_sums.pulses, file->pilot_sums.ticks,
                                  file->pilot_sums.squares, file->record->tick);
    }
    if (index->health)
        tape_health_file_open(index->health, file->loader, file->record->verdict == tape_verdict_reading);
    send(index, file->loader, *file->record, index->loader_sequence[file->loader]);
}

}  // namespace

void tape_index_catch_up(tape_index *index)
{
    while (index->samples_read != index->samples_seen) {
        const uint32_t at = uint32_t(index->samples_read % tape_index_recent_samples);
        const uint32_t in_a_row = tape_index_recent_samples - at;
        const uint64_t waiting = index->samples_seen - index->samples_read;
        const uint32_t count = waiting < in_a_row ? uint32_t(waiting) : in_a_row;
        loader_files_read(&index->loaders, index->recent + at, count, index->tick);
        index->tick = rom_files_read(&index->rom, index->recent + at, count, index->tick);
        index->samples_read += count;
    }
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
            tape_index_catch_up(index);
    }
}

void tape_index_init(tape_index *index, tape_file_sink sink, void *context)
{
    index->tick = 0;
    index->samples_seen = 0;
    index->samples_read = 0;
    index->sequence = 0;
    index->rom_sequence = 0;
    for (uint32_t &sequence : index->loader_sequence)
        sequence = 0;
    index->sink = sink;
    index->context = context;
    index->health = nullptr;
    rom_files_init(&index->rom, rom_file_news, index);
    loader_files_init(&index->loaders, turbo_file_news, index);
}

void tape_index_finish(tape_index *index)
{
    tape_index_catch_up(index);
    rom_files_finish(&index->rom);
    loader_files_finish(&index->loaders);
}

const char *tape_loader_text(tape_loader loader)
{
    return tape_loader_english(loader);
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
