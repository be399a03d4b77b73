#include "tape/pilot_files.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// The data block follows its header at once; a generous allowance for a
// long pilot before its sync train, 10 s of tape.
constexpr uint64_t data_wait_ticks = 10 * 2000000ull;

constexpr uint32_t longest_data = 0x10000;

enum pilot_block_role : uint8_t {
    no_pilot_block,
    header_block, // the header of a file being listed or open
    data_block,   // the open file's data (for one-block formats, the bytes after the header)
};

void report(pilot_files *f)
{
    if (f->report)
        f->report(f->context, &f->file);
}

void judge(pilot_files *f, tape_verdict verdict)
{
    if (!f->file_open)
        return;
    f->file_open = false;
    tape_file_record_judged(&f->file, verdict, f->program, f->data_length, f->report, f->context);
}

void end_block(pilot_files *f)
{
    f->role = no_pilot_block;
    pilot_block_reader_end_block(&f->reader);
}

unsigned address_at(const unsigned char *head, unsigned at)
{
    return head[at] | (head[at + 1] << 8);
}

// Load address, end address and data length as the header gives them; false
// when they cannot be (end before start, data beyond $FFFF).
bool read_addresses(pilot_files *f)
{
    const pilot_format &format = *f->format;
    const unsigned load = address_at(f->head, format.load_at);
    const unsigned field = address_at(f->head, format.end_at);
    unsigned end = 0;
    switch (format.end_field) {
    case pilot_end_address:
        end = field != 0 ? field : longest_data;
        break;
    case pilot_end_wraps:
        end = load + ((field - load) & 0xFFFFu);
        break;
    case pilot_size_complement:
        end = load + (longest_data - field);
        break;
    }
    f->file.load_address = static_cast<uint16_t>(load);
    f->end_address = end;
    f->data_length = end >= load ? end - load : 0;
    return end >= load && end - load <= longest_data && (format.end_field == pilot_end_wraps || end <= longest_data);
}

void list_file(pilot_files *f)
{
    const pilot_format &format = *f->format;
    f->file_open = true;
    f->file.tick = f->header_tick;
    f->file.type = f->reader.identifier;
    f->file.verdict = tape_verdict_reading;
    f->file.program = nullptr;
    f->file.program_length = 0;
    f->file.first_tick = f->header_lead_tick;
    f->file.end_tick = f->reader.end_tick;
    f->pilot_sums = f->header_pilot_sums;
    f->lying = !read_addresses(f);
    if (f->lying)
        f->data_length = 0;
    if (format.name_length != 0)
        std::memcpy(f->file.name, f->head + format.name_at, 16);
    else
        tape_address_range_name(f->file.load_address, f->end_address, f->file.name);
    report(f);
}

void block_began(pilot_files *f)
{
    const pilot_block_reader *r = &f->reader;
    const pilot_format &format = *f->format;
    const bool header_id = !format.identified_blocks || r->identifier == 1 || r->identifier == 2;
    const bool is_header = header_id && r->lead_in_bytes >= format.pilot_bytes_min;
    if (f->data_due && r->identifier == 0) {
        f->role = data_block;
        f->sum = 0;
        return;
    }
    judge(f, tape_verdict_bad); // a block other than its data where the data was due
    f->data_due = false;
    if (is_header) {
        f->role = header_block;
        f->header_tick = r->block_tick;
        f->header_lead_tick = r->lead_tick;
        f->header_pilot_sums = r->pilot_sums;
    } else
        end_block(f);
}

uint32_t data_index(const pilot_files *f)
{
    return f->format->identified_blocks ? f->reader.index : f->reader.index - f->format->header_length;
}

// Hands a byte of the file being read to whoever combines readings.
void pass_byte_on(pilot_files *f, tape_file_block block)
{
    if (!f->byte_report)
        return;
    const pilot_block_reader *r = &f->reader;
    const bool in_header = block == tape_file_header_block;
    const tape_file_byte byte{block,
                              0,
                              in_header || !f->format->identified_blocks ? f->header_tick : r->block_tick,
                              in_header ? r->index : data_index(f),
                              r->value,
                              r->clean,
                              r->end_tick,
                              in_header || !f->format->identified_blocks ? f->header_lead_tick : r->lead_tick,
                              r->lead_in_bytes,
                              r->identifier};
    f->byte_report(f->byte_context, &byte);
}

// The header is complete: the data follow in this block or the next.
void header_complete(pilot_files *f)
{
    f->header_end_tick = f->reader.end_tick;
    if (!f->format->identified_blocks && f->file_open && !f->lying) {
        f->role = data_block;
        f->sum = 0;
        return;
    }
    // A file judged bad already still has its data read when bytes are wanted.
    f->data_due = f->format->identified_blocks && (f->file_open || f->byte_report);
    end_block(f);
}

void header_byte(pilot_files *f)
{
    const pilot_block_reader *r = &f->reader;
    const pilot_format &format = *f->format;
    const unsigned listing_bytes = pilot_listing_bytes(format);
    const bool listed = r->index >= listing_bytes;
    if (!r->clean) {
        if (!listed) {
            end_block(f); // before the name and addresses are read: no file
            return;
        }
        judge(f, tape_verdict_bad);
        if (!f->byte_report) {
            end_block(f);
            return;
        }
    }
    pass_byte_on(f, tape_file_header_block);
    if (f->file_open)
        f->file.end_tick = r->end_tick;
    if (r->index < sizeof f->head)
        f->head[r->index] = r->value;
    if (r->index + 1 == listing_bytes) {
        list_file(f);
        if (f->lying)
            judge(f, tape_verdict_bad);
    }
    if (r->index + 1 == format.header_length)
        header_complete(f);
}

// A file judged bad in mid-data ends where its check byte will: every byte
// still to come as long as the bytes of its block read so far.
void reckon_end(pilot_files *f, uint32_t index)
{
    const pilot_block_reader *r = &f->reader;
    if (index >= f->data_length || r->end_tick <= r->block_tick)
        return;
    const uint64_t bytes_read = f->format->sync_length + f->format->identified_blocks + r->index + 1u;
    f->file.end_tick += (r->end_tick - r->block_tick) * (f->data_length - index) / bytes_read;
}

void data_byte(pilot_files *f)
{
    const pilot_block_reader *r = &f->reader;
    const uint32_t index = data_index(f);
    pass_byte_on(f, tape_file_data_block);
    if (f->file_open)
        f->file.end_tick = r->end_tick;
    if (!r->clean) {
        if (f->file_open)
            reckon_end(f, index);
        judge(f, tape_verdict_bad);
        if (!f->byte_report || index >= f->data_length) {
            f->data_due = false;
            end_block(f);
        }
        return;
    }
    if (index < f->data_length) {
        f->program[index] = r->value;
        f->sum ^= r->value;
        return;
    }
    judge(f, r->value == f->sum ? tape_verdict_good : tape_verdict_bad);
    f->data_due = false;
    end_block(f);
}

void take(void *context, pilot_block_event event)
{
    pilot_files *f = static_cast<pilot_files *>(context);
    if (event == pilot_block_began)
        block_began(f);
    else if (f->role == header_block)
        header_byte(f);
    else if (f->role == data_block)
        data_byte(f);
    else
        end_block(f);
}

}  // namespace

void tape_address_range_name(unsigned start, unsigned end, unsigned char name[16])
{
    char text[17];
    std::snprintf(text, sizeof text, "$%04X-$%04X     ", start & 0xFFFFu, end & 0xFFFFu);
    std::memcpy(name, text, 16);
}

void pilot_files_init(pilot_files *files, const pilot_format *format, tape_file_report report, void *context)
{
    // Every field but the program's bytes (written before they are read)
    // starts at zero: no block, no file open, nothing counted, no byte report.
    static_assert(no_pilot_block == 0);
    std::memset(static_cast<void *>(files), 0, offsetof(pilot_files, program));
    pilot_block_reader_init(&files->reader, format);
    files->format = format;
    files->report = report;
    files->context = context;
}

void pilot_files_report_bytes(pilot_files *files, tape_file_byte_report report, void *context)
{
    files->byte_report = report;
    files->byte_context = context;
}

uint64_t pilot_files_read_lanes(pilot_files *files, const pilot_lanes *lanes, unsigned lane)
{
    return pilot_block_reader_read(&files->reader, lanes, lane, take, files);
}

void pilot_files_read_ends(pilot_files *files, uint64_t tick)
{
    if (files->data_due && files->role != data_block && tick - files->header_end_tick > data_wait_ticks) {
        judge(files, tape_verdict_bad);
        files->data_due = false;
    }
}

uint64_t pilot_files_read(pilot_files *files, const unsigned short *samples, size_t count, uint64_t tick)
{
    pilot_lanes lanes;
    pilot_lanes_init(&lanes);
    pilot_lanes_add(&lanes, 0, &files->reader);
    for (size_t at = 0; at < count; at += pilot_lanes_batch) {
        pilot_lanes_take(&lanes, samples + at, count - at < pilot_lanes_batch ? count - at : pilot_lanes_batch, tick);
        tick = pilot_files_read_lanes(files, &lanes, 0);
    }
    pilot_files_read_ends(files, tick);
    return tick;
}

void pilot_files_finish(pilot_files *files)
{
    judge(files, tape_verdict_cut_short);
    files->data_due = false;
    files->role = no_pilot_block;
}
