#include "tape/rom_files.h"

#include "tape/rom_format.h"

#include <algorithm>

namespace {

// A header's payload (rom_format.h).
constexpr uint32_t header_payload_bytes = rom_header_payload_bytes;
constexpr unsigned type_byte = rom_header_type_byte;
constexpr unsigned start_address_byte = rom_header_start_byte;
constexpr unsigned end_address_byte = rom_header_end_byte;
constexpr unsigned name_byte = rom_header_name_byte;
constexpr unsigned char unreadable_name_byte = '?';
// Bytes of a block copy besides its payload: the countdown and the checksum.
constexpr uint64_t copy_frame_bytes = rom_countdown_bytes + 1;

// Block types (a header's first byte).
constexpr int unknown_type = -1;
constexpr int relocatable_program = rom_type_relocatable_program;
constexpr int data_file_block = rom_type_data_file_block;
constexpr int program = rom_type_program;
constexpr int data_file_header = rom_type_data_file_header;
constexpr int end_of_tape = rom_type_end_of_tape;

enum block_role : uint8_t {
    no_block,
    unidentified,   // a 192-byte block whose type is not known yet
    file_header,    // the header of the open file
    program_data,   // the open program's data
    data_file_part, // a type-2 block of the open data file
    no_file,        // a block that belongs to no file
};

enum expectation : uint8_t {
    expect_header,
    expect_program_data,
    expect_data_file_block,
};

void report(rom_files *f)
{
    if (f->report)
        f->report(f->context, &f->file);
}

int type_of(const rom_block_check *block)
{
    return rom_block_check_knows(block, type_byte) ? block->head[type_byte] : unknown_type;
}

unsigned address_at(const rom_block_check *block, unsigned at)
{
    return block->head[at] | (block->head[at + 1] << 8);
}

bool knows_addresses(const rom_block_check *block)
{
    for (unsigned at = start_address_byte; at < end_address_byte + 2; ++at)
        if (!rom_block_check_knows(block, at))
            return false;
    return true;
}

void judge_file(rom_files *f, tape_verdict verdict)
{
    if (!f->file_open || f->file_judged)
        return;
    f->file_judged = true;
    f->file.verdict = verdict;
    const bool loads = verdict == tape_verdict_good || verdict == tape_verdict_repaired;
    if (loads && f->role == program_data) {
        f->file.program = f->program;
        f->file.program_length = f->data_length;
    }
    report(f);
    f->file.program = nullptr;
    f->file.program_length = 0;
}

void close_file(rom_files *f)
{
    f->file_open = false;
    f->expect = expect_header;
}

// A file ends without its last block.
void abandon_file(rom_files *f)
{
    if (!f->file_open)
        return;
    f->worst = tape_verdict_bad;
    judge_file(f, f->worst);
    close_file(f);
}

void open_file(rom_files *f)
{
    const rom_block_check *block = &f->block;
    f->file_open = true;
    f->file_judged = false;
    f->worst = tape_verdict_good;
    f->file.tick = block->tick;
    f->file.first_tick = f->pilot_tick;
    f->file.end_tick = f->reader.end_tick;
    f->file.type = block->head[type_byte];
    f->file.verdict = tape_verdict_reading;
    f->file.load_address = static_cast<uint16_t>(address_at(block, start_address_byte));
    for (unsigned i = 0; i < rom_name_length; ++i)
        f->file.name[i] = rom_block_check_knows(block, name_byte + i) ? block->head[name_byte + i]
                                                                      : unreadable_name_byte;
    report(f);
}

// The block's type is known, or will never be: it joins the open data file,
// or it is a header, which ends whatever file was open.
void identify(rom_files *f)
{
    const int type = type_of(&f->block);
    if (f->expect == expect_data_file_block && type == data_file_block) {
        f->role = data_file_part;
        return;
    }
    abandon_file(f);
    if (type != relocatable_program && type != program && type != data_file_header) {
        f->role = no_file;
        return;
    }
    f->role = file_header;
    open_file(f);
    if (type == data_file_header) {
        f->expect = expect_data_file_block;
    } else if (knows_addresses(&f->block)) {
        f->data_length = (address_at(&f->block, end_address_byte) - address_at(&f->block, start_address_byte)) & 0xFFFF;
        f->expect = expect_program_data;
    } else {
        abandon_file(f); // no length for the data: nothing can be loaded
    }
}

// A file judged while its last block passes ends where that block will: the
// rest of the copy being read and, after the first, the repeated copy
// behind its short pilot, each byte as long as the copy's bytes so far;
// then the trailer.
void reckon_end(rom_files *f)
{
    const uint64_t copy_tick = f->reader.copy_tick;
    if (f->file.end_tick <= copy_tick)
        return;
    const uint64_t bytes_read = copy_frame_bytes + f->reader.index;
    const uint64_t copy_bytes = copy_frame_bytes + f->block.length;
    const uint64_t byte_ticks = (f->file.end_tick - copy_tick) / bytes_read;
    const uint64_t short_ticks =
        byte_ticks * rom_short_cycles /
        (rom_byte_long_pulses * rom_long_cycles + rom_byte_medium_pulses * rom_medium_cycles +
         rom_byte_short_pulses * rom_short_cycles);
    uint64_t end = std::max(f->file.end_tick, copy_tick + copy_bytes * byte_ticks);
    if (!f->block.repeated_seen)
        end += rom_repeat_pilot * short_ticks + copy_bytes * byte_ticks;
    f->file.end_tick = end + rom_trailer * short_ticks;
}

// Once the block has a verdict and a place, the file takes it.
void settle(rom_files *f)
{
    if (f->role == unidentified && rom_block_check_head_complete(&f->block))
        identify(f);
    if (f->verdict_applied || f->block.verdict == tape_verdict_reading)
        return;
    if (f->role != file_header && f->role != program_data && f->role != data_file_part)
        return;
    f->verdict_applied = true;
    f->worst = tape_verdict_worse(f->worst, f->block.verdict);
    const bool last = f->role == program_data || (f->role == data_file_part && f->block.zero_after_type);
    if ((last || f->worst == tape_verdict_bad) && !f->file_judged) {
        reckon_end(f);
        judge_file(f, f->worst);
    }
    if (last)
        close_file(f);
}

void close_block(rom_files *f)
{
    if (f->role == no_block)
        return;
    rom_block_check_close(&f->block);
    if (f->role == unidentified)
        identify(f);
    settle(f);
    f->role = no_block;
    f->guessing = false;
}

void open_block(rom_files *f, rom_block_copy copy, uint64_t tick)
{
    f->verdict_applied = false;
    f->pilot_tick = f->reader.pilot_tick;
    if (f->expect != expect_program_data) {
        f->role = unidentified;
        rom_block_check_begin(&f->block, header_payload_bytes, copy, tick);
        return;
    }
    f->role = program_data;
    rom_block_check_begin(&f->block, f->data_length, copy, tick);
    f->block.payload = f->program;
    f->guessing = copy == rom_first_copy && f->data_length != header_payload_bytes;
    if (f->guessing)
        rom_block_check_begin(&f->header_guess, header_payload_bytes, copy, tick);
}

void copy_began(rom_files *f)
{
    const rom_block_check *block = &f->block;
    if (f->role != no_block && f->reader.copy == rom_repeated_copy && block->first_seen &&
        !block->repeated_seen) {
        rom_block_check_repeat(&f->block);
        return;
    }
    close_block(f);
    open_block(f, f->reader.copy, f->reader.copy_tick);
}

bool is_header_type(int type)
{
    return type >= relocatable_program && type <= end_of_tape && type != data_file_block;
}

void copy_ended(rom_files *f)
{
    if (f->guessing) {
        f->guessing = false;
        // A whole header where the program's data was due: the data is missing.
        const bool header_length = f->reader.end_mark && f->reader.index == header_payload_bytes + 1;
        if (header_length && is_header_type(type_of(&f->header_guess))) {
            abandon_file(f);
            f->block = f->header_guess;
            f->role = unidentified;
        }
    }
    rom_block_check_copy_end(&f->block);
    if (f->role == unidentified && f->block.repeated_seen)
        identify(f); // no later copy can tell more
    settle(f);
}

// Hands a byte of a header (or a block that may be one) or of a program's
// data to whoever combines readings.
void pass_byte_on(rom_files *f)
{
    if (!f->byte_report)
        return;
    const bool header = f->role == unidentified || f->role == file_header;
    if (!header && f->role != program_data)
        return;
    const tape_file_byte byte{header ? tape_file_header_block : tape_file_data_block,
                              uint8_t(f->block.copy_open == rom_repeated_copy ? 1 : 0),
                              f->block.tick,
                              f->reader.index,
                              f->reader.value,
                              f->reader.clean,
                              f->reader.end_tick,
                              f->reader.pilot_tick,
                              0,
                              0};
    f->byte_report(f->byte_context, &byte);
}

// The open file reaches as far as the byte just read of one of its blocks.
void extend_file(rom_files *f)
{
    const bool files_block = f->role == file_header || f->role == program_data || f->role == data_file_part;
    if (files_block && f->file_open && !f->file_judged && f->reader.end_tick > f->file.end_tick)
        f->file.end_tick = f->reader.end_tick;
}

void take(void *context, rom_block_event event)
{
    rom_files *f = static_cast<rom_files *>(context);
    const rom_block_reader *reader = &f->reader;
    switch (event) {
    case rom_block_none:
        return;
    case rom_block_copy_began:
        copy_began(f);
        return;
    case rom_block_byte:
        extend_file(f);
        pass_byte_on(f);
        rom_block_check_byte(&f->block, reader->index, reader->value, reader->clean);
        if (reader->index > header_payload_bytes)
            f->guessing = false; // longer than a header
        if (f->guessing)
            rom_block_check_byte(&f->header_guess, reader->index, reader->value, reader->clean);
        settle(f);
        return;
    case rom_block_bytes_lost:
        rom_block_check_lost(&f->block, reader->index, reader->count);
        if (f->guessing)
            rom_block_check_lost(&f->header_guess, reader->index, reader->count);
        settle(f);
        return;
    case rom_block_copy_ended:
        copy_ended(f);
        return;
    }
}

}  // namespace

void rom_files_init(rom_files *files, tape_file_report report, void *context)
{
    // Value-initialising the whole struct would clear the program buffer too.
    files->block = rom_block_check{};
    files->header_guess = rom_block_check{};
    files->role = no_block;
    files->guessing = false;
    files->verdict_applied = false;
    files->file_open = false;
    files->file_judged = false;
    files->worst = tape_verdict_reading;
    files->data_length = 0;
    files->pilot_tick = 0;
    files->file = tape_file_record{};
    rom_block_reader_init(&files->reader);
    files->expect = expect_header;
    files->report = report;
    files->context = context;
    files->byte_report = nullptr;
    files->byte_context = nullptr;
}

void rom_files_report_bytes(rom_files *files, tape_file_byte_report report, void *context)
{
    files->byte_report = report;
    files->byte_context = context;
}

uint64_t rom_files_read(rom_files *files, const unsigned short *samples, size_t count, uint64_t tick)
{
    return rom_block_reader_read(&files->reader, samples, count, tick, take, files);
}

void rom_files_finish(rom_files *f)
{
    if (f->role == unidentified)
        identify(f); // a header the stream ended inside is still listed
    judge_file(f, tape_verdict_cut_short);
    close_block(f);
    close_file(f);
}
