// The rescue fed two or three takes of one synthesized tape side (one program
// of each format in side_files: the built-in format's blocks behind the
// shortest pilot its block reader takes, Turbo Tape 250 and Turrican headers
// behind the shortest lead-in their block reader takes and their data blocks
// behind a short one, every other turbo loader as its saving program writes
// it but for a pilot a little longer than the shortest its reader takes and a
// short Novaload trailer, Novaload Special with one page of the program),
// each take with its own damage: pulses moved out of every window, the take
// begun late or cut short. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer.
//
// Invariants, whatever the damage:
// - a program the rescue gives back (good, repaired or rescued) is exactly
//   the one written to the tape, at its load address: damage that leaves
//   pulses out of their windows is never taken for data;
// - with no damage at all both files come back good;
// - the clean image made of the first take holds every program the rescue
//   gave back, each read back good from it.
//
// Input: a header (program length, take count, a seed), then records of four
// bytes: take, position (24 bits scaled over the take), what is done there.
#include "fuzz_check.h"
#include "tape/clean_tap.h"
#include "tape/formats/novaload.h"
#include "tape/loader_table.h"
#include "tape/rom_format.h"
#include "tape/tape_input.h"
#include "tape/tape_rescue.h"
#include "tape/tape_take.h"
#include "tape_file.h"
#include "tape_synth.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr const char *target = "fuzz_rescue";

void rom_program(tape_synth *synth, unsigned start, const std::vector<unsigned char> &program)
{
    const std::vector<unsigned char> header =
        tape_rom_header_payload(1, start, start + unsigned(program.size()), tape_name_field("ROM"));
    tape_rom_block(synth, rom_block_pilot_pulses, header.data(), header.size());
    tape_synth_gap(synth, 65535);
    tape_rom_block(synth, rom_block_pilot_pulses, program.data(), program.size());
}

// A data block's lead-in: it needs no length to be read.
constexpr unsigned data_lead_in = 16;

template <const tape_turbo_format &format>
void turbo_program(tape_synth *synth, unsigned start, const std::vector<unsigned char> &program)
{
    tape_turbo_header(synth, format, format.row.pilot_bytes_min, 1, start, start + unsigned(program.size()),
                      tape_name_field("TURBO"));
    tape_turbo_data(synth, format, data_lead_in, program.data(), program.size());
}

// The program as a loader's file holds it: Novaload Special's is one page.
std::vector<unsigned char> program_of(tape_loader loader, const std::vector<unsigned char> &program)
{
    if (loader != tape_loader_novaload_special)
        return program;
    std::vector<unsigned char> page(256);
    for (size_t i = 0; i < page.size(); ++i)
        page[i] = program[i % program.size()];
    return page;
}

// A pilot this many bytes (Novaload: this many bytes' pulses) longer than the
// shortest its reader takes: damage inside that margin leaves the file
// readable in its take, damage further in loses it there, as with the saving
// program's longer pilots. Novaload's trailer, which its reader never waits
// for, as long as the margin: copied as recorded into the clean image all
// the same.
constexpr unsigned pilot_margin_bytes = 8;

tape_loader_lengths side_lengths(tape_loader loader)
{
    if (const pilot_format *row = tape_loader_pilot_format(loader))
        return {row->pilot_bytes_min + pilot_margin_bytes, 0};
    return {novaload_facts.pilot_pulses_min + 8 * pilot_margin_bytes, 8 * pilot_margin_bytes};
}

template <tape_loader loader>
void loader_program(tape_synth *synth, unsigned start, const std::vector<unsigned char> &program)
{
    const std::vector<unsigned char> bytes = program_of(loader, program);
    tape_loader_file(synth, loader, tape_name_field("LOADER"), start, bytes.data(), bytes.size(),
                     side_lengths(loader));
}

// The files on the side, one per format, in this order; a format the rescue
// learns adds its row.
struct side_file {
    tape_loader loader;
    unsigned load_address;
    void (*write)(tape_synth *synth, unsigned start, const std::vector<unsigned char> &program);
};
const side_file side_files[] = {
    {tape_loader_rom, 0x0801, rom_program},
    {tape_loader_tt250, 0x1000, turbo_program<tape_tt250>},
    {tape_loader_turrican, 0x2000, turbo_program<tape_turrican>},
    {tape_loader_freeload, 0x3000, loader_program<tape_loader_freeload>},
    {tape_loader_hitload, 0x4000, loader_program<tape_loader_hitload>},
    {tape_loader_usgold, 0x5000, loader_program<tape_loader_usgold>},
    {tape_loader_microload, 0x6000, loader_program<tape_loader_microload>},
    {tape_loader_novaload, 0x7000, loader_program<tape_loader_novaload>},
    {tape_loader_novaload_special, 0x8000, loader_program<tape_loader_novaload_special>},
};

std::vector<unsigned short> side(const std::vector<unsigned char> &program)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 40, 5);
    tape_synth_gap(&synth, 65535);
    for (const side_file &file : side_files) {
        file.write(&synth, file.load_address, program);
        tape_synth_gap(&synth, 65535);
    }
    return synth.samples;
}

const side_file *side_file_of(tape_loader loader)
{
    const side_file *found = std::find_if(std::begin(side_files), std::end(side_files),
                                          [&](const side_file &file) { return file.loader == loader; });
    return found == std::end(side_files) ? nullptr : found;
}

// One reader for every take of every input: a new one would be zero-filled
// and paged in afresh each time, a large share of an input's time.
tape_take_reader *take_reader()
{
    static const std::unique_ptr<tape_take_reader> reader = tape_take_reader_new();
    return reader.get();
}

// The take's files; the reader is made ready for the next take at once, so
// that it holds no memory between inputs. An input that ends holding more
// blocks than it found would be run again by the leak check (and libFuzzer
// gives up that check after a thousand such runs).
std::vector<tape_take_file> finish_take(tape_take_reader *reader)
{
    std::vector<tape_take_file> files = tape_take_reader_finish(reader);
    tape_take_reader_restart(reader);
    return files;
}

std::vector<tape_take_file> read_take(const char *path)
{
    tape_take_reader *reader = take_reader();
    tape_input *input = tape_input_open(path, 0, nullptr);
    fuzz_check(input != nullptr, target, "a take written cannot be opened");
    unsigned short samples[4096];
    long got;
    while ((got = tape_input_read(input, samples, 4096, nullptr)) > 0)
        tape_take_reader_feed(reader, samples, size_t(got));
    tape_input_close(input);
    return finish_take(reader);
}

// Where the first take and its clean image are written, removed when the
// fuzzer exits. In memory where the system offers a folder there: the staged
// files' fsync then costs nothing, and it held most of an input's wall time.
struct scratch_folder {
    std::string path;
    scratch_folder()
    {
        const std::string pattern = "fuzz_rescue-XXXXXX";
        if (g_file_test("/dev/shm", G_FILE_TEST_IS_DIR)) {
            std::string in_memory = "/dev/shm/" + pattern;
            if (g_mkdtemp(in_memory.data()))
                path = in_memory;
        }
        if (path.empty()) {
            gchar *made = g_dir_make_tmp(pattern.c_str(), nullptr);
            fuzz_check(made != nullptr, target, "no folder for the clean image");
            path = made;
            g_free(made);
        }
    }
    ~scratch_folder()
    {
        // The clean image's writer decides which files sit beside it.
        if (GDir *dir = g_dir_open(path.c_str(), 0, nullptr)) {
            while (const gchar *name = g_dir_read_name(dir))
                g_remove((path + "/" + name).c_str());
            g_dir_close(dir);
        }
        g_rmdir(path.c_str());
    }
};

// The clean image of the first take: every program given back must load good
// from it, as often as the rescue gave it back.
void check_clean_image(const std::vector<unsigned short> &first, const std::vector<std::vector<tape_take_file>> &read,
                       const std::vector<tape_rescued_file> &files, const std::vector<unsigned char> &program)
{
    static const scratch_folder folder;
    const std::string take_path = folder.path + "/first.dmp", image_path = folder.path + "/clean.tap";
    std::string error;
    fuzz_check(dmp_write_file(take_path.c_str(), first, &error) != 0, target, "the first take cannot be written");
    const sampling_option_values options{};
    fuzz_check(clean_tap_write(take_path.c_str(), read, files, &options, image_path.c_str(), 1, nullptr, nullptr) != 0,
               target, "the clean image cannot be written");
    const std::vector<tape_take_file> image = read_take(image_path.c_str());
    for (const side_file &on_side : side_files) {
        const tape_loader loader = on_side.loader;
        size_t given = 0, loaded = 0;
        for (const tape_rescued_file &file : files)
            given += file.loader == loader && file.outcome != tape_rescue_bad;
        for (const tape_take_file &file : image) {
            if (file.loader != loader || file.verdict != tape_verdict_good || file.data_file)
                continue;
            fuzz_check(file.program == program_of(loader, program), target,
                       "the clean image holds a program not on the tape");
            ++loaded;
        }
        fuzz_check(loaded >= given, target, "a program given back does not load good from the clean image");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t length = 1 + data[0] % 200;
    const unsigned take_count = 2 + data[1] % 2;
    std::vector<unsigned char> program(length);
    for (size_t i = 0; i < length; ++i)
        program[i] = static_cast<unsigned char>(i * 13 + data[2]);
    // The side depends on the program alone, and most mutations keep it: the
    // last one is kept rather than synthesized again.
    static std::vector<unsigned char> side_program;
    static std::vector<unsigned short> tape;
    if (tape.empty() || program != side_program) {
        tape = side(program);
        side_program = program;
    }
    std::vector<std::vector<unsigned short>> takes(take_count, tape);
    bool damaged = false;
    for (size_t at = 3; at + 4 <= size; at += 4) {
        std::vector<unsigned short> &take = takes[data[at] % take_count];
        if (take.empty())
            continue;
        const size_t position = size_t((uint64_t(data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3]) *
                                        take.size()) >> 24);
        damaged = true;
        switch (data[at] >> 6) {
        case 0: // a pulse in no window of either format
        case 1:
            take[position] = data[at] & 1 ? 100 : 3000;
            break;
        case 2: // the take begins late
            take.erase(take.begin(), take.begin() + long(position));
            break;
        default: // the take ends early
            take.resize(position);
            break;
        }
    }

    std::vector<std::vector<tape_take_file>> read;
    for (const std::vector<unsigned short> &take : takes) {
        tape_take_reader *reader = take_reader();
        tape_take_reader_feed(reader, take.data(), take.size());
        read.push_back(finish_take(reader));
    }
    const std::vector<tape_rescued_file> files = tape_rescue(read, nullptr);
    unsigned good = 0;
    for (const tape_rescued_file &file : files) {
        if (file.outcome == tape_rescue_bad)
            continue;
        fuzz_check(file.program == program_of(file.loader, program), target,
                   "a program given back differs from the tape's");
        const side_file *written = side_file_of(file.loader);
        fuzz_check(written && file.load_address == written->load_address, target, "a program loads elsewhere");
        good += file.outcome == tape_rescue_good;
    }
    fuzz_check(damaged || (files.size() == std::size(side_files) && good == std::size(side_files)), target,
               "an undamaged tape is not read good");
    check_clean_image(takes[0], read, files, program);
    return 0;
}
