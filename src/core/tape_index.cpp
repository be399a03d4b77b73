#include "tape_index.h"

#include "translate.h"

#include <cstring>

namespace {

// Pulses from a turbo header's first sync byte to the pulse after its name:
// the sync train, the identifier, five bytes, the 16 name bytes; one pulse per bit.
constexpr uint32_t tt250_header_pulses = (9 + 1 + 5 + 16) * 8;
constexpr uint32_t turrican_header_pulses = (12 + 1 + 5 + 16) * 8;
static_assert(turrican_header_pulses < tape_index_recent_samples);

void send(tape_index *index, tape_loader loader, uint64_t tick, const unsigned char *name, uint32_t sequence,
          tape_verdict verdict)
{
    if (!index->sink)
        return;
    tape_file_event event{};
    event.sequence = sequence;
    event.loader = loader;
    event.tick = tick;
    std::memcpy(event.name, name, 16);
    event.verdict = verdict;
    index->sink(index->context, &event);
}

void rom_file_news(void *context, const rom_file_record *file)
{
    tape_index *index = static_cast<tape_index *>(context);
    if (file->verdict == tape_verdict_reading)
        index->rom_sequence = ++index->sequence;
    send(index, tape_loader_rom, file->tick, file->name, index->rom_sequence, file->verdict);
}

// Where the pulse `pulses` before the current one began.
uint64_t tick_before(const tape_index *index, uint32_t pulses)
{
    if (pulses > index->samples_seen)
        pulses = index->samples_seen;
    uint64_t back = 0;
    for (uint32_t i = 1; i <= pulses; ++i)
        back += index->recent[(index->samples_seen - i) % tape_index_recent_samples];
    return index->tick - back;
}

}  // namespace

void tape_index_name_found(tape_index *index, const name_finder *finder)
{
    if (finder->loader == tape_loader_rom)
        return; // the block reader lists these files itself
    const uint32_t pulses = finder->loader == tape_loader_tt250 ? tt250_header_pulses : turrican_header_pulses;
    send(index, finder->loader, tick_before(index, pulses), finder->name, ++index->sequence,
         tape_verdict_not_checked);
}

void tape_index_init(tape_index *index, tape_file_sink sink, void *context)
{
    index->tick = 0;
    index->samples_seen = 0;
    index->sequence = 0;
    index->rom_sequence = 0;
    index->sink = sink;
    index->context = context;
    rom_files_init(&index->rom, rom_file_news, index);
}

void tape_index_finish(tape_index *index)
{
    rom_files_finish(&index->rom);
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
    }
    return "";
}
