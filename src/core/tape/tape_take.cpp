#include "tape/tape_take.h"

#include "tape/tape_input.h"
#include "tape/rom_format.h"
#include "tape/turbo_format.h"

#include <algorithm>
#include <cstring>
#include <memory>

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
    return {&r->found[loader], &r->pending[loader], &r->pending_tick[loader], &r->open[loader]};
}

void keep_pending(format_side side, const tape_file_byte *byte)
{
    if (*side.pending_tick != byte->block_tick) {
        *side.pending = tape_take_file{};
        *side.pending_tick = byte->block_tick;
    }
    keep_byte(side.pending, byte);
}

void take_byte(tape_take_reader *r, tape_loader loader, const tape_file_byte *byte)
{
    format_side side = side_of(r, loader);
    tape_take_file *last = side.files->empty() ? nullptr : &side.files->back();
    if (byte->block == tape_file_data_block) {
        // A Novaload Special run is listed at its end, after its bytes.
        if (loader == tape_loader_novaload_special && !(last && last->tick == byte->block_tick))
            keep_pending(side, byte);
        else if (*side.open && last)
            keep_byte(last, byte);
        return;
    }
    if (*side.open && last && last->tick == byte->block_tick) {
        keep_byte(last, byte);
        return;
    }
    keep_pending(side, byte);
}

void take_record(tape_take_reader *r, tape_loader loader, const tape_file_record *record, unsigned end)
{
    format_side side = side_of(r, loader);
    if (record->verdict == tape_verdict_reading) {
        tape_take_file file{};
        file.loader = loader;
        file.tick = record->tick;
        file.first_tick = record->first_tick;
        std::memcpy(file.name, record->name, sizeof file.name);
        file.verdict = tape_verdict_reading;
        file.data_file = loader == tape_loader_rom && record->type == rom_data_file_type;
        *side.open = !file.data_file;
        // A data file is listed for the index only; header bytes pending stay
        // for a file that may yet claim them.
        if (!file.data_file) {
            if (*side.pending_tick == record->tick) {
                for (unsigned copy = 0; copy < 2; ++copy) {
                    file.header[copy] = std::move(side.pending->header[copy]);
                    file.data[copy] = std::move(side.pending->data[copy]);
                    file.place[copy] = side.pending->place[copy];
                }
            }
            *side.pending = tape_take_file{};
            *side.pending_tick = UINT64_MAX;
        }
        if (loader != tape_loader_rom) {
            file.addressed = true;
            file.start = record->load_address;
            file.end = end;
        }
        side.files->push_back(std::move(file));
        return;
    }
    if (side.files->empty() || side.files->back().tick != record->tick ||
        side.files->back().verdict != tape_verdict_reading)
        return;
    tape_take_file &file = side.files->back();
    file.verdict = record->verdict;
    if (record->program)
        file.program.assign(record->program, record->program + record->program_length);
}

void take_rom_record(void *context, const tape_file_record *record)
{
    take_record(static_cast<tape_take_reader *>(context), tape_loader_rom, record, 0);
}

void take_turbo_record(void *context, const loader_file *file)
{
    take_record(static_cast<tape_take_reader *>(context), file->loader, file->record, file->end_address);
}

void take_rom_byte(void *context, const tape_file_byte *byte)
{
    take_byte(static_cast<tape_take_reader *>(context), tape_loader_rom, byte);
}

void take_turbo_byte(void *context, tape_loader loader, const tape_file_byte *byte)
{
    take_byte(static_cast<tape_take_reader *>(context), loader, byte);
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
    if (file.addressed) {
        *start = file.start;
        *end = file.end;
        return true;
    }
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

namespace {

// Hands a freshly constructed reader to its block readers.
void start_reader(tape_take_reader *reader)
{
    rom_files_init(&reader->rom, take_rom_record, reader);
    rom_files_report_bytes(&reader->rom, take_rom_byte, reader);
    loader_files_init(&reader->loaders, take_turbo_record, reader);
    loader_files_report_bytes(&reader->loaders, take_turbo_byte, reader);
    reader->tick = 0;
    for (unsigned loader = 0; loader < tape_loader_count; ++loader) {
        reader->pending_tick[loader] = UINT64_MAX;
        reader->open[loader] = false;
    }
}

}  // namespace

std::unique_ptr<tape_take_reader> tape_take_reader_new()
{
    auto reader = std::make_unique<tape_take_reader>();
    start_reader(reader.get());
    return reader;
}

void tape_take_reader_restart(tape_take_reader *reader)
{
    std::destroy_at(reader);
    std::construct_at(reader);
    start_reader(reader);
}

void tape_take_reader_feed(tape_take_reader *reader, const unsigned short *samples, size_t count)
{
    rom_files_read(&reader->rom, samples, count, reader->tick);
    reader->tick = loader_files_read(&reader->loaders, samples, count, reader->tick);
}

std::vector<tape_take_file> tape_take_reader_finish(tape_take_reader *reader)
{
    rom_files_finish(&reader->rom);
    loader_files_finish(&reader->loaders);
    std::vector<tape_take_file> files;
    for (std::vector<tape_take_file> &found : reader->found)
        for (tape_take_file &file : found)
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
