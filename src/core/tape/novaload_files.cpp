#include "tape/novaload_files.h"

#include "tape/pilot_files.h"
#include "tape/pulse_window.h"

#include <cstring>

namespace {

enum novaload_state : uint8_t {
    novaload_seeking, // counting 0 pulses until a 1 pulse ends a pilot
    marker,           // the byte 0xAA after the sync pulse
    kind,             // 0x55 for Special, else Novaload's name length
    name_and_fields,  // Novaload: name and the three fields
    sub_blocks,       // Novaload: check bytes and sub-blocks
    page,             // Special: a page byte
    page_data,        // Special: 256 bytes and their check byte
};

constexpr uint8_t novaload_bit_zero = 0;
constexpr uint8_t novaload_bit_one = 1;
constexpr uint8_t novaload_no_bit = 2;
constexpr uint32_t longest_novaload_data = 0x10000;
constexpr unsigned header_fields = 6; // load - 256, end, size + 256
constexpr unsigned last_page = 0xFF;

const novaload_format &facts = novaload_facts;

inline uint8_t bit_of_sample(const novaload_files *f, unsigned short sample)
{
    return sample < tape_first_aliasing_sample ? f->bit_of_pulse[sample >> 3] : novaload_no_bit;
}

void report(novaload_files *f)
{
    if (f->report)
        f->report(f->context, &f->file);
}

// What the format writes after a file's data: its trailer of 0 pulses.
constexpr uint64_t trailer_ticks = uint64_t{novaload_facts.trailer_pulses_written} *
                                   pilot_ticks_of_units(novaload_facts.zero_units);

void judge(novaload_files *f, tape_verdict verdict, uint64_t end_tick)
{
    if (!f->file_open)
        return;
    f->file_open = false;
    f->file.end_tick = end_tick;
    tape_file_record_judged(&f->file, verdict, f->program, f->data_length, f->report, f->context);
}

void seek(novaload_files *f)
{
    f->state = novaload_seeking;
    f->zeros = 0;
    f->run_first_page = 0;
}

void pass_byte_on(novaload_files *f, tape_file_block block, bool clean)
{
    if (!f->byte_report)
        return;
    const tape_file_byte byte{block, 0, f->file.tick, f->index, f->byte, clean, f->tick, f->file.first_tick, 0, 0};
    f->byte_report(f->byte_context, &byte);
}

void list(novaload_files *f)
{
    f->file_open = true;
    f->damaged = false;
    f->file.end_tick = f->tick;
    f->file.verdict = tape_verdict_reading;
    f->file.program = nullptr;
    f->file.program_length = 0;
    report(f);
}

// Novaload: the header is complete.
void header_read(novaload_files *f)
{
    const unsigned n = f->head[0];
    const unsigned char *fields = f->head + 1 + n;
    const unsigned load = (unsigned(fields[0] | fields[1] << 8) + facts.load_offset) & 0xFFFFu;
    const unsigned end = unsigned(fields[2] | fields[3] << 8);
    const unsigned size_field = unsigned(fields[4] | fields[5] << 8);
    const bool lying =
        size_field < facts.size_offset || load + (size_field - facts.size_offset) > longest_novaload_data;
    f->data_length = lying ? 0 : size_field - facts.size_offset;
    f->end_address = load + f->data_length;
    f->end_disagrees = end != (f->end_address & 0xFFFFu);
    f->file.load_address = static_cast<uint16_t>(load);
    std::memset(f->file.name, 0x20, sizeof f->file.name);
    std::memcpy(f->file.name, f->head + 1, n);
    list(f);
    if (lying) {
        judge(f, tape_verdict_bad, f->tick);
        seek(f);
        return;
    }
    f->state = sub_blocks;
    f->index = 0;
    f->data_read = 0;
    f->sub_block_left = 0;
}

// Novaload: a check byte or a data byte.
void data_byte(novaload_files *f)
{
    const unsigned char byte = f->byte;
    const bool clean = f->byte_clean;
    pass_byte_on(f, tape_file_data_block, clean);
    ++f->index;
    bool final = false;
    if (f->sub_block_left == 0) {
        if (!clean || byte != f->sum)
            f->damaged = true;
        final = f->data_read == f->data_length;
        const uint32_t left = f->data_length - f->data_read;
        f->sub_block_left = left < facts.sub_block_bytes ? left : facts.sub_block_bytes;
    } else {
        f->program[f->data_read++] = byte;
        --f->sub_block_left;
        f->damaged = f->damaged || !clean;
    }
    f->sum = static_cast<unsigned char>(f->sum + byte);
    if (f->file_open)
        f->file.end_tick = f->tick;
    if (final) {
        judge(f, f->damaged ? tape_verdict_bad : tape_verdict_good, f->tick + trailer_ticks);
        seek(f);
    } else if (f->damaged && f->file_open) {
        // Every byte still to come as long as the bytes read so far.
        const uint64_t stream = f->data_length + (f->data_length + facts.sub_block_bytes - 1) / facts.sub_block_bytes + 1;
        const uint64_t read = f->index + 1u + f->head[0] + header_fields;
        const uint64_t left = stream > f->index ? stream - f->index : 0;
        judge(f, tape_verdict_bad, f->tick + (f->tick - f->file.tick) * left / read + trailer_ticks);
        if (!f->byte_report)
            seek(f);
    }
}

// Special: the open run ends before the byte just read.
void close_run(novaload_files *f)
{
    if (f->run_first_page == 0)
        return;
    tape_address_range_name(f->run_first_page << 8, f->end_address, f->file.name);
    f->data_length = f->end_address - (f->run_first_page << 8);
    const bool damaged = f->damaged;
    const uint64_t end_tick = f->run_end_tick;
    list(f);
    judge(f, damaged ? tape_verdict_bad : tape_verdict_good, end_tick);
    f->run_first_page = 0;
}

void open_run(novaload_files *f, unsigned first_page)
{
    // The chain's first run begins with its pilot, the others at their page.
    f->file.first_tick = f->end_address == 0 ? f->run_pilot_tick : f->byte_tick;
    f->run_first_page = first_page;
    f->file.tick = f->byte_tick;
    f->file.load_address = static_cast<uint16_t>(first_page << 8);
    f->file.type = 0;
    f->damaged = false;
    f->data_length = 0;
    f->index = 0;
}

// Special: a page byte.
void page_byte(novaload_files *f)
{
    const bool clean = f->byte_clean;
    unsigned next = f->byte;
    const bool open = f->run_first_page != 0;
    if (!clean && !open) {
        seek(f); // no run to place it in
        return;
    }
    if (!clean)
        next = f->page + 1;
    if (clean && next == 0) {
        f->run_end_tick = f->tick + trailer_ticks; // the closing page and the trailer after it
        close_run(f);
        seek(f);
        return;
    }
    if (next > last_page || (open && next != f->page + 1)) {
        close_run(f);
        if (next > last_page) {
            seek(f);
            return;
        }
    }
    if (f->run_first_page == 0)
        open_run(f, next);
    f->damaged = f->damaged || !clean;
    f->page = next;
    f->end_address = (next + 1) << 8;
    f->sum = static_cast<unsigned char>(next);
    pass_byte_on(f, tape_file_data_block, clean);
    ++f->index;
    f->sub_block_left = facts.page_bytes;
    f->state = page_data;
}

void page_data_byte(novaload_files *f)
{
    const unsigned char byte = f->byte;
    const bool clean = f->byte_clean;
    pass_byte_on(f, tape_file_data_block, clean);
    ++f->index;
    if (f->sub_block_left == 0) {
        f->damaged = f->damaged || !clean || byte != f->sum;
        f->run_end_tick = f->tick;
        f->state = page;
        return;
    }
    f->program[(f->page - f->run_first_page) * facts.page_bytes + facts.page_bytes - f->sub_block_left] = byte;
    --f->sub_block_left;
    f->damaged = f->damaged || !clean;
    f->sum = static_cast<unsigned char>(f->sum + byte);
}

// A byte is complete; f->tick is where the next pulse begins.
void byte_read(novaload_files *f)
{
    switch (f->state) {
    case marker:
        if (f->byte != facts.marker)
            seek(f);
        else
            f->state = kind;
        break;
    case kind:
        if (f->byte == facts.special_marker) {
            f->special = true;
            f->end_address = 0; // no run of this chain yet
            f->state = page;
            break;
        }
        if (f->byte > facts.name_length_max) {
            seek(f); // no header has a name this long: the pilot was noise
            break;
        }
        f->special = false;
        f->head[0] = f->byte;
        f->sum = f->byte;
        f->index = 0;
        pass_byte_on(f, tape_file_header_block, true);
        f->index = 1;
        f->state = name_and_fields;
        break;
    case name_and_fields:
        pass_byte_on(f, tape_file_header_block, true);
        f->head[f->index] = f->byte;
        f->sum = static_cast<unsigned char>(f->sum + f->byte);
        if (++f->index == 1u + f->head[0] + header_fields)
            header_read(f);
        break;
    case sub_blocks:
        data_byte(f);
        break;
    case page:
        page_byte(f);
        break;
    case page_data:
        page_data_byte(f);
        break;
    }
    f->byte_tick = f->tick;
    f->byte_clean = true;
}

// The search over samples[0..count), pulse by pulse, its counts and sums in
// local variables. Returns how many samples it took; it stops after a sync
// pulse.
size_t seek_run(novaload_files *f, const unsigned short *samples, size_t count)
{
    uint32_t zeros = f->zeros;
    uint64_t run_tick = f->run_tick;
    pilot_pulse_sums sums = f->run_sums;
    uint64_t at = f->tick;
    size_t i = 0;
    while (i < count) {
        const unsigned short sample = samples[i++];
        const uint8_t bit = bit_of_sample(f, sample);
        at += sample;
        if (bit == novaload_bit_zero) {
            if (zeros++ == 0) {
                run_tick = at - sample;
                sums = {};
            }
            pilot_pulse_sums_add(&sums, sample);
            continue;
        }
        if (bit == novaload_bit_one && zeros >= facts.pilot_pulses_min) {
            f->state = marker;
            f->run_pilot_tick = run_tick;
            f->file.first_tick = run_tick;
            f->pilot_sums = sums;
            f->file.tick = at - sample;
            f->byte_tick = at;
            f->bit_count = 0;
            f->byte = 0;
            f->byte_clean = true;
            f->run_first_page = 0;
            zeros = 0;
            break;
        }
        zeros = 0;
    }
    f->zeros = zeros;
    f->run_tick = run_tick;
    f->run_sums = sums;
    f->tick = at;
    return i;
}

// The search over samples[0..count): nearly every pulse of a tape is spent
// here. Returns how many samples it took; it stops after a sync pulse.
size_t seek_pilot(novaload_files *f, const unsigned short *samples, size_t count)
{
    // A sync needs pilot_pulses_min 0 pulses before it. Where the run so far
    // cannot grow that long within these samples, none of them is a sync and
    // only the run they end with matters: everything up to the last pulse
    // that is not a 0 is passed over, as noise mostly is.
    if (f->zeros < facts.pilot_pulses_min && count <= facts.pilot_pulses_min - f->zeros) {
        size_t last = count;
        while (last > 0 && bit_of_sample(f, samples[last - 1]) == novaload_bit_zero)
            --last;
        if (last > 0) {
            uint64_t passed = 0;
            for (size_t i = 0; i < last; ++i)
                passed += samples[i];
            f->tick += passed;
            f->zeros = 0;
            samples += last;
            count -= last;
            return last + seek_run(f, samples, count);
        }
    }
    return seek_run(f, samples, count);
}

}  // namespace

void novaload_files_init(novaload_files *files, tape_file_report report, void *context)
{
    files->file = tape_file_record{};
    files->special = false;
    files->end_address = 0;
    files->end_disagrees = false;
    files->bit_count = 0;
    files->byte = 0;
    files->byte_clean = true;
    files->run_tick = files->byte_tick = files->tick = 0;
    files->file_open = false;
    files->damaged = false;
    files->sum = 0;
    files->index = files->data_length = files->data_read = files->sub_block_left = 0;
    files->page = 0;
    files->run_pilot_tick = files->run_end_tick = 0;
    files->pilot_sums = files->run_sums = {};
    files->report = report;
    files->context = context;
    files->byte_report = nullptr;
    files->byte_context = nullptr;
    for (unsigned pulse = 0; pulse < 256; ++pulse) {
        const unsigned char byte = static_cast<unsigned char>(pulse);
        files->bit_of_pulse[pulse] = pulse_in_window(byte, facts.one_pulse)    ? novaload_bit_one
                                     : pulse_in_window(byte, facts.zero_pulse) ? novaload_bit_zero
                                                                               : novaload_no_bit;
    }
    seek(files);
}

void novaload_files_report_bytes(novaload_files *files, tape_file_byte_report report, void *context)
{
    files->byte_report = report;
    files->byte_context = context;
}

uint64_t novaload_files_read(novaload_files *f, const unsigned short *samples, size_t count, uint64_t tick)
{
    f->tick = tick;
    size_t i = 0;
    while (i < count) {
        if (f->state == novaload_seeking) {
            i += seek_pilot(f, samples + i, count - i);
            continue;
        }
        const unsigned short sample = samples[i++];
        const uint8_t bit = bit_of_sample(f, sample);
        f->tick += sample;
        if (bit == novaload_no_bit) {
            // Before the header is complete, or where no run is open to
            // place a page in, there is no file yet: look for the next pilot.
            const bool framing = f->state == marker || f->state == kind || f->state == name_and_fields ||
                                 (f->state == page && f->run_first_page == 0);
            if (framing) {
                seek(f);
                continue;
            }
            f->byte_clean = false;
        }
        f->byte = static_cast<unsigned char>((f->byte >> 1) | ((bit & 1u) << 7));
        if (++f->bit_count < 8)
            continue;
        f->bit_count = 0;
        byte_read(f);
    }
    return f->tick;
}

void novaload_files_finish(novaload_files *files)
{
    if (files->special && files->run_first_page != 0 && files->state != novaload_seeking) {
        tape_address_range_name(files->run_first_page << 8, files->end_address, files->file.name);
        list(files);
    }
    judge(files, tape_verdict_cut_short, files->tick);
    files->run_first_page = 0;
    files->state = novaload_seeking;
    files->zeros = 0;
}
