#include "tape/tape_take.h"

#include "tape/tape_input.h"
#include "tape/rom_format.h"
#include "tape/turbo_format.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char rom_data_file_type = rom_type_data_file_header;
constexpr uint32_t longest_block = 65536; // payload bytes and the checksum

void keep_byte(tape_take_file *file, const tape_file_byte *byte)
{
    const bool data = byte->block == tape_file_data_block;
    tape_take_block_place &place = file->place[data ? 1 : 0];
    if (byte->lead_tick < place.begin) {
        place.begin = byte->lead_tick;
        place.lead_in_bytes = byte->lead_in_bytes;
        place.identifier = byte->identifier;
    }
    place.end = std::max(place.end, byte->end_tick);
    std::vector<int16_t> *copy = &(data ? file->data : file->header)[byte->copy & 1];
    if (byte->index >= longest_block)
        return;
    if (copy->size() <= byte->index)
        copy->resize(byte->index + 1, tape_take_unread);
    (*copy)[byte->index] = byte->clean ? int16_t(byte->value) : tape_take_unread;
}

struct format_side {
    std::vector<tape_take_file> *files;
    tape_take_file *pending;
    uint64_t *pending_tick;
    bool *open;
};

format_side side_of(tape_take_reader *r, tape_loader loader)
{
    if (loader == tape_loader_rom)
        return {&r->rom_found, &r->pending_rom, &r->pending_rom_tick, &r->rom_open};
    return {&r->tt250_found, &r->pending_tt250, &r->pending_tt250_tick, &r->tt250_open};
}

void take_byte(tape_take_reader *r, tape_loader loader, const tape_file_byte *byte)
{
    format_side side = side_of(r, loader);
    tape_take_file *last = side.files->empty() ? nullptr : &side.files->back();
    if (byte->block == tape_file_data_block) {
        if (*side.open && last)
            keep_byte(last, byte);
        return;
    }
    if (*side.open && last && last->tick == byte->block_tick) {
        keep_byte(last, byte);
        return;
    }
    if (*side.pending_tick != byte->block_tick) {
        *side.pending = tape_take_file{};
        *side.pending_tick = byte->block_tick;
    }
    keep_byte(side.pending, byte);
}

void take_record(tape_take_reader *r, tape_loader loader, const tape_file_record *record)
{
    format_side side = side_of(r, loader);
    if (record->verdict == tape_verdict_reading) {
        *side.open = !(loader == tape_loader_rom && record->type == rom_data_file_type);
        if (!*side.open)
            return;
        tape_take_file file{};
        if (*side.pending_tick == record->tick) {
            file.header[0] = std::move(side.pending->header[0]);
            file.header[1] = std::move(side.pending->header[1]);
            file.place[0] = side.pending->place[0];
        }
        *side.pending = tape_take_file{};
        *side.pending_tick = UINT64_MAX;
        file.loader = loader;
        file.tick = record->tick;
        std::memcpy(file.name, record->name, sizeof file.name);
        file.verdict = tape_verdict_reading;
        side.files->push_back(std::move(file));
        return;
    }
    if (side.files->empty() || side.files->back().tick != record->tick ||
        side.files->back().verdict != tape_verdict_reading)
        return; // a data file's verdict
    tape_take_file &file = side.files->back();
    file.verdict = record->verdict;
    if (record->program)
        file.program.assign(record->program, record->program + record->program_length);
}

void take_rom_record(void *context, const tape_file_record *record)
{
    take_record(static_cast<tape_take_reader *>(context), tape_loader_rom, record);
}

void take_tt250_record(void *context, const tape_file_record *record)
{
    take_record(static_cast<tape_take_reader *>(context), tape_loader_tt250, record);
}

void take_rom_byte(void *context, const tape_file_byte *byte)
{
    take_byte(static_cast<tape_take_reader *>(context), tape_loader_rom, byte);
}

void take_tt250_byte(void *context, const tape_file_byte *byte)
{
    take_byte(static_cast<tape_take_reader *>(context), tape_loader_tt250, byte);
}

// The first value read clean of a header byte, or tape_take_unread.
int header_byte(const tape_take_file &file, unsigned index)
{
    for (const std::vector<int16_t> &copy : file.header)
        if (index < copy.size() && copy[index] != tape_take_unread)
            return copy[index];
    return tape_take_unread;
}

}  // namespace

bool tape_take_file_addresses(const tape_take_file &file, unsigned *start, unsigned *end)
{
    const unsigned at = file.loader == tape_loader_rom ? rom_header_start_byte : tt250_format.header_start_byte;
    static_assert(rom_header_end_byte == rom_header_start_byte + 2 &&
                  tt250_format.header_end_byte == tt250_format.header_start_byte + 2);
    int bytes[4];
    for (unsigned i = 0; i < 4; ++i)
        if ((bytes[i] = header_byte(file, at + i)) == tape_take_unread)
            return false;
    *start = unsigned(bytes[0] | bytes[1] << 8);
    *end = unsigned(bytes[2] | bytes[3] << 8);
    return true;
}

std::unique_ptr<tape_take_reader> tape_take_reader_new()
{
    auto reader = std::make_unique<tape_take_reader>();
    rom_files_init(&reader->rom, take_rom_record, reader.get());
    rom_files_report_bytes(&reader->rom, take_rom_byte, reader.get());
    tt250_files_init(&reader->tt250, take_tt250_record, reader.get());
    tt250_files_report_bytes(&reader->tt250, take_tt250_byte, reader.get());
    reader->tick = 0;
    reader->pending_rom_tick = reader->pending_tt250_tick = UINT64_MAX;
    reader->rom_open = reader->tt250_open = false;
    return reader;
}

void tape_take_reader_feed(tape_take_reader *reader, const unsigned short *samples, size_t count)
{
    rom_files_read(&reader->rom, samples, count, reader->tick);
    reader->tick = tt250_files_read(&reader->tt250, samples, count, reader->tick);
}

std::vector<tape_take_file> tape_take_reader_finish(tape_take_reader *reader)
{
    rom_files_finish(&reader->rom);
    tt250_files_finish(&reader->tt250);
    std::vector<tape_take_file> files = std::move(reader->rom_found);
    for (tape_take_file &file : reader->tt250_found)
        files.push_back(std::move(file));
    std::stable_sort(files.begin(), files.end(),
                     [](const tape_take_file &a, const tape_take_file &b) { return a.tick < b.tick; });
    return files;
}

int tape_take_read_file(const char *path, std::vector<tape_take_file> *files, tape_read_control *control,
                        GError **error)
{
    tape_input *input = tape_input_open(path, 0, error);
    if (!input)
        return 0;
    auto reader = tape_take_reader_new();
    std::vector<unsigned short> samples(TAPE_INPUT_BUFFER_SIZE / 2);
    long got = 0;
    bool stopped = false;
    while (!stopped && (got = tape_input_read(input, samples.data(), samples.size(), error)) > 0) {
        tape_take_reader_feed(reader.get(), samples.data(), size_t(got));
        stopped = tape_read_control_update(control, input);
    }
    tape_input_close(input);
    if (stopped || got < 0)
        return 0;
    *files = tape_take_reader_finish(reader.get());
    return 1;
}
