#include "tape/tt250_files.h"

#include "tape/tape_time.h"
#include "tape/turbo_format.h"

#include <cstring>

namespace {

constexpr const turbo_format &format = tt250_format;
constexpr uint32_t header_lead_in_bytes_min = format.lead_in_bytes_min;
constexpr uint32_t header_payload_bytes = uint32_t(format.header_payload_bytes);
constexpr unsigned start_address_byte = format.header_start_byte;
constexpr unsigned end_address_byte = format.header_end_byte;
constexpr unsigned name_byte = format.header_name_byte;
constexpr unsigned name_length = format.name_length;
constexpr unsigned char data_identifier = format.data_id;
// Bytes of a block before its payload: the sync train and the identifier.
constexpr uint64_t block_frame_bytes = format.sync_first + 1u;

// The data block follows its header at once; a generous allowance for a
// long lead-in before its sync train, 10 s of tape.
constexpr uint64_t data_wait_ticks = 10 * tape_ticks_per_second;

static_assert(sizeof tt250_files::head == name_byte + name_length);

enum block_role : uint8_t {
    no_block,
    header, // the header of a file being listed or open
    data,   // the open file's data
};

void report(tt250_files *f)
{
    if (f->report)
        f->report(f->context, &f->file);
}

void judge(tt250_files *f, tape_verdict verdict)
{
    if (!f->file_open)
        return;
    f->file_open = false;
    f->file.verdict = verdict;
    if (verdict == tape_verdict_good) {
        f->file.program = f->program;
        f->file.program_length = f->data_length;
    }
    report(f);
    f->file.program = nullptr;
    f->file.program_length = 0;
}

void end_block(tt250_files *f)
{
    f->role = no_block;
    tt250_block_reader_end_block(&f->reader);
}

unsigned address_at(const unsigned char *head, unsigned at)
{
    return head[at] | (head[at + 1] << 8);
}

void list_file(tt250_files *f)
{
    f->file_open = true;
    f->file.tick = f->reader.block_tick;
    f->file.first_tick = f->header_lead_tick;
    f->file.end_tick = f->reader.end_tick;
    f->file.type = f->reader.identifier;
    f->file.verdict = tape_verdict_reading;
    f->file.load_address = static_cast<uint16_t>(address_at(f->head, start_address_byte));
    f->file.program = nullptr;
    f->file.program_length = 0;
    std::memcpy(f->file.name, f->head + name_byte, name_length);
    f->data_length = (address_at(f->head, end_address_byte) - address_at(f->head, start_address_byte)) & 0xFFFF;
    report(f);
}

void block_began(tt250_files *f)
{
    const tt250_block_reader *r = &f->reader;
    const bool is_header = turbo_is_header_id(format, r->identifier) && r->lead_in_bytes >= header_lead_in_bytes_min;
    if (f->data_due && r->identifier == data_identifier) {
        f->role = data;
        f->sum = 0;
        return;
    }
    judge(f, tape_verdict_bad); // a block other than its data where the data was due
    f->data_due = false;
    if (is_header) {
        f->role = header;
        f->header_tick = r->block_tick;
        f->header_lead_tick = r->lead_tick;
    } else
        end_block(f);
}

// Hands a byte of the file being read to whoever combines readings.
void pass_byte_on(tt250_files *f, tape_file_block block)
{
    if (!f->byte_report)
        return;
    const tt250_block_reader *r = &f->reader;
    const tape_file_byte byte{block, 0, block == tape_file_header_block ? f->header_tick : r->block_tick,
                              r->index, r->value, r->clean, r->end_tick,
                              r->lead_tick, r->lead_in_bytes, r->identifier};
    f->byte_report(f->byte_context, &byte);
}

void header_byte(tt250_files *f)
{
    const tt250_block_reader *r = &f->reader;
    const bool listed = r->index > name_byte + name_length - 1;
    if (!r->clean) {
        if (!listed) {
            end_block(f); // before the name's end: no file, as for the name decoder
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
    if (r->index == name_byte + name_length - 1)
        list_file(f);
    if (r->index + 1 == header_payload_bytes) {
        // A file judged bad already still has its data read when bytes are wanted.
        f->data_due = f->file_open || f->byte_report;
        f->header_end_tick = r->end_tick;
        end_block(f);
    }
}

// A data block judged bad in mid-block ends where its check byte will: every
// byte still to come as long as the bytes read so far.
void reckon_end(tt250_files *f)
{
    const tt250_block_reader *r = &f->reader;
    if (r->index >= f->data_length || r->end_tick <= r->block_tick)
        return;
    const uint64_t bytes_read = block_frame_bytes + r->index + 1;
    f->file.end_tick += (r->end_tick - r->block_tick) * (f->data_length - r->index) / bytes_read;
}

void data_byte(tt250_files *f)
{
    const tt250_block_reader *r = &f->reader;
    pass_byte_on(f, tape_file_data_block);
    if (f->file_open)
        f->file.end_tick = r->end_tick;
    if (!r->clean) {
        if (f->file_open)
            reckon_end(f);
        judge(f, tape_verdict_bad);
        if (!f->byte_report || r->index >= f->data_length) {
            f->data_due = false;
            end_block(f);
        }
        return;
    }
    if (r->index < f->data_length) {
        f->program[r->index] = r->value;
        f->sum ^= r->value;
        return;
    }
    judge(f, r->value == f->sum ? tape_verdict_good : tape_verdict_bad);
    f->data_due = false;
    end_block(f);
}

void take(void *context, tt250_block_event event)
{
    tt250_files *f = static_cast<tt250_files *>(context);
    if (event == tt250_block_began)
        block_began(f);
    else if (f->role == header)
        header_byte(f);
    else if (f->role == data)
        data_byte(f);
    else
        end_block(f);
}

}  // namespace

void tt250_files_init(tt250_files *files, tape_file_report report, void *context)
{
    tt250_block_reader_init(&files->reader);
    files->role = no_block;
    files->file_open = false;
    files->data_due = false;
    files->header_end_tick = 0;
    files->data_length = 0;
    files->sum = 0;
    files->file = tape_file_record{};
    files->report = report;
    files->context = context;
    files->byte_report = nullptr;
    files->byte_context = nullptr;
    files->header_tick = 0;
    files->header_lead_tick = 0;
}

void tt250_files_report_bytes(tt250_files *files, tape_file_byte_report report, void *context)
{
    files->byte_report = report;
    files->byte_context = context;
}

uint64_t tt250_files_read(tt250_files *files, const unsigned short *samples, size_t count, uint64_t tick)
{
    tick = tt250_block_reader_read(&files->reader, samples, count, tick, take, files);
    if (files->data_due && files->role != data && tick - files->header_end_tick > data_wait_ticks) {
        judge(files, tape_verdict_bad);
        files->data_due = false;
    }
    return tick;
}

void tt250_files_finish(tt250_files *files)
{
    judge(files, tape_verdict_cut_short);
    files->data_due = false;
    files->role = no_block;
}
