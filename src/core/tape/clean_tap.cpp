#include "tape/clean_tap.h"

#include "tape/rom_encoder.h"
#include "tape/rom_format.h"
#include "tape/tap_index_file.h"
#include "tape/tap_writer.h"
#include "tape/tape_input.h"
#include "tape/tape_time.h"
#include "tape/loader_encoder.h"
#include "tape/loader_table.h"

#include <algorithm>
#include <tuple>

namespace {

enum piece_kind : uint8_t { rom_header_block, rom_data_block, turbo_file };

// A part of a file to write afresh, and the take's stretch it replaces.
struct piece {
    uint64_t begin, end; // equal for a piece the take holds no byte of
    bool inserted;       // goes before what the take has at begin, replacing nothing
    piece_kind kind;
    const tape_rescued_file *file;
    uint32_t lead_in[2]; // Turbo Tape 250, Turrican: the header's and the data block's
    bool chain_begins;   // Novaload Special: the run opens its chain (pilot and markers written)
    bool own_ending;     // Novaload: the take has no ending after the file (inserted, or the take ends inside it)
};

uint64_t end_in_take(const tape_take_file &file)
{
    return std::max(file.place[0].end, file.place[1].end);
}

// Where a file the first take does not hold goes: before the next file on
// the tape (in the take that holds it) that the first take holds, else at the
// end.
uint64_t insertion_tick(const tape_rescued_file &file, const std::vector<std::vector<tape_take_file>> &takes,
                        const std::vector<std::vector<const tape_rescued_file *>> &by_take)
{
    const unsigned t = file.take;
    for (size_t j = size_t(file.in_take[t]) + 1; j < by_take[t].size(); ++j) {
        const tape_rescued_file *next = by_take[t][j];
        if (next && next->in_take[0] >= 0)
        {
            const tape_take_file &held = takes[0][size_t(next->in_take[0])];
            return std::min(held.place[0].begin, held.place[1].begin);
        }
    }
    return UINT64_MAX;
}

std::vector<piece> plan(const std::vector<std::vector<tape_take_file>> &takes,
                        const std::vector<tape_rescued_file> &files)
{
    std::vector<std::vector<const tape_rescued_file *>> by_take(takes.size());
    for (size_t t = 0; t < takes.size(); ++t)
        by_take[t].assign(takes[t].size(), nullptr);
    for (const tape_rescued_file &file : files)
        for (size_t t = 0; t < takes.size() && t < file.in_take.size(); ++t)
            if (file.in_take[t] >= 0)
                by_take[t][size_t(file.in_take[t])] = &file;

    std::vector<piece> pieces;
    for (const tape_rescued_file &file : files) {
        const bool headed = file.loader != tape_loader_novaload_special;
        if (file.outcome == tape_rescue_bad || (headed && file.header.empty()))
            continue;
        const tape_take_file *held = file.in_take[0] >= 0 ? &takes[0][size_t(file.in_take[0])] : nullptr;
        if (held && headed && held->place[0].end == 0)
            continue; // its header was read as the bytes of another block: stays as recorded
        const tape_take_file &source = takes[file.take][size_t(file.in_take[file.take])];
        const uint64_t at = held ? 0 : insertion_tick(file, takes, by_take);
        piece head{at, at, !held, rom_header_block, &file, {0, 0}, !held,
                   !held || held->verdict == tape_verdict_cut_short};
        if (held)
            head.begin = held->place[0].begin, head.end = held->place[0].end;
        if (file.loader == tape_loader_rom) {
            piece data{head.end, head.end, false, rom_data_block, &file, {0, 0}, false, false};
            if (held && held->place[1].end != 0)
                data.begin = held->place[1].begin, data.end = held->place[1].end;
            pieces.push_back(head);
            pieces.push_back(data);
            continue;
        }
        head.kind = turbo_file;
        if (held) {
            head.begin = std::min(held->place[0].begin, held->place[1].begin);
            head.end = end_in_take(*held);
            // A Special run after the first of its chain begins at its page byte.
            head.chain_begins = held->place[1].begin < held->tick;
        }
        const pilot_format *row = tape_loader_pilot_format(file.loader);
        if (row && row->identified_blocks) {
            head.lead_in[0] = std::max<uint32_t>(source.place[0].lead_in_bytes, row->pilot_bytes_min);
            head.lead_in[1] =
                source.place[1].end != 0 ? std::max(source.place[1].lead_in_bytes, 1u) : head.lead_in[0];
        }
        pieces.push_back(head);
    }
    // In tape order; what is inserted before a place goes before what
    // replaces the take there.
    std::stable_sort(pieces.begin(), pieces.end(), [](const piece &a, const piece &b) {
        return std::make_tuple(a.begin, !a.inserted) < std::make_tuple(b.begin, !b.inserted);
    });
    return pieces;
}

// Every entry of the image goes through here, to the writer and the index.
class image_sink {
public:
    image_sink(tap_file *file, tap_index_builder *index, const tap_format &format)
        : file_(file), index_(index), half_waves_(format.version == 2), clock_hz_(format.clock_hz)
    {
    }

    void sample(unsigned short sample)
    {
        end_pause();
        tap_writer_add_sample(&file_->writer, sample);
    }

    // The take's sample that begins at tick, copied (its files indexed
    // where it goes).
    void copy(uint64_t tick, unsigned short sample)
    {
        end_pause();
        tap_index_builder_copy(index_, tick, sample, TAP_HEADER_SIZE + file_->writer.data_length);
        tap_writer_add_sample(&file_->writer, sample);
    }

    // A piece of a pause that a TAP image held as one entry and its reader
    // handed out in pieces: the pieces in a row become one entry again.
    void copy_pause_piece(uint64_t tick, unsigned short sample)
    {
        tap_index_builder_copy(index_, tick, sample, TAP_HEADER_SIZE + file_->writer.data_length);
        pause_ticks_ += sample;
    }

    // A pause of its own, one entry, whatever came before.
    void pause(unsigned short ticks)
    {
        end_pause();
        pause_ticks_ = ticks;
        end_pause();
    }

    // A file written afresh begins here; after_aligning_byte: behind the
    // byte that aligned its reader in the take, copied as recorded.
    void file_begins(const tape_rescued_file &file, bool after_aligning_byte)
    {
        end_pause();
        tap_index_builder_add(index_, file.loader, file.name, TAP_HEADER_SIZE + file_->writer.data_length,
                              after_aligning_byte);
    }

    void end_pause()
    {
        if (pause_ticks_ != 0)
            tap_writer_add_pause(&file_->writer, pause_ticks_);
        pause_ticks_ = 0;
    }

    // A pulse of cycles machine cycles: samples whose entry is exactly
    // cycles / 8 (the rounding to ticks and back is well under an entry's 8
    // cycles); two halves in a half-wave image.
    void pulse(unsigned cycles)
    {
        if (!half_waves_) {
            sample(ticks(cycles));
            return;
        }
        sample(ticks(cycles / 2));
        sample(ticks(cycles / 2));
    }

private:
    unsigned short ticks(unsigned cycles) const
    {
        return static_cast<unsigned short>((uint64_t{cycles} * tape_ticks_per_second + clock_hz_ / 2) / clock_hz_);
    }

    tap_file *file_;
    tap_index_builder *index_;
    bool half_waves_;
    uint64_t clock_hz_;
    uint64_t pause_ticks_ = 0;
};

class nominal_rom : public rom_encoder {
public:
    explicit nominal_rom(image_sink &sink) : sink_(sink) {}
    void pulse(rom_pulse pulse) override
    {
        static constexpr unsigned cycles[] = {rom_short_cycles, rom_medium_cycles, rom_long_cycles};
        sink_.pulse(cycles[pulse]);
    }

private:
    image_sink &sink_;
};

class nominal_pilot : public pilot_encoder {
public:
    nominal_pilot(image_sink &sink, const pilot_format &format) : pilot_encoder(format), sink_(sink), format_(format)
    {
    }
    void pulse(unsigned bit) override { sink_.pulse((bit ? format_.one_units : format_.zero_units) * 8u); }

private:
    image_sink &sink_;
    const pilot_format &format_;
};

class nominal_novaload : public novaload_encoder {
public:
    explicit nominal_novaload(image_sink &sink) : sink_(sink) {}
    void pulse(unsigned bit) override
    {
        sink_.pulse((bit ? novaload_facts.one_units : novaload_facts.zero_units) * 8u);
    }

private:
    image_sink &sink_;
};

// A turbo loader's file. A piece that replaces the take's file leaves the
// take's trailer (and a Special chain's closing page) as recorded; one the
// take does not hold, or holds cut short, brings its own.
void write_turbo_file(const piece &p, image_sink &sink)
{
    const tape_rescued_file &file = *p.file;
    if (const pilot_format *row = tape_loader_pilot_format(file.loader)) {
        nominal_pilot encoder(sink, *row);
        if (!row->identified_blocks) {
            encoder.file_of(row->pilot_bytes_written, 0, file.header, file.program.data(), file.program.size());
            return;
        }
        encoder.header_block(p.lead_in[0], file.identifier ? file.identifier : 1, file.header);
        encoder.data_block(p.lead_in[1], file.program.data(), file.program.size());
        return;
    }
    nominal_novaload encoder(sink);
    if (file.loader == tape_loader_novaload) {
        encoder.pilot_and_marker(novaload_facts.pilot_pulses_written);
        encoder.write_bytes(file.header);
        encoder.write_bytes(novaload_data_stream(file.header, file.program.data(), file.program.size()));
    } else {
        if (p.chain_begins) {
            encoder.pilot_and_marker(novaload_facts.pilot_pulses_written);
            encoder.write_byte(novaload_facts.special_marker);
        }
        encoder.write_bytes(
            novaload_special_stream(file.load_address >> 8, file.program.data(), file.program.size()));
        if (p.own_ending)
            encoder.write_byte(0);
    }
    if (p.own_ending)
        encoder.trailer(novaload_facts.trailer_pulses_written);
}

void write_piece(const piece &p, image_sink &sink)
{
    const tape_rescued_file &file = *p.file;
    if (p.kind == rom_header_block)
        nominal_rom(sink).block(rom_header_pilot, file.header.data(), file.header.size());
    else if (p.kind == rom_data_block)
        nominal_rom(sink).block(rom_data_pilot, file.program.data(), file.program.size());
    else
        write_turbo_file(p, sink);
}

// Around a file the first take does not hold: whatever the take has before
// it (a pilot cut inside a byte, the start of a block) ends, so that every
// reader meets the file's pilot afresh and counts all of it; and the file
// ends before the take goes on, so that a pilot the take has right there is
// not read as the inserted file's tail. The longest sample, in no loader's
// classes.
constexpr unsigned short inserted_file_pause = 65535;

// The TAP reader hands a pause out in pieces each longer than this (half the
// longest sample); no pulse a loader reads comes near it.
constexpr unsigned short tap_pause_piece = 32767;

// Copies the take's samples, putting the pieces in place of the stretches
// they replace.
class rewriter {
public:
    rewriter(const std::vector<piece> &pieces, image_sink &sink, bool from_tap)
        : pieces_(pieces), sink_(sink), from_tap_(from_tap)
    {
    }

    void take(uint64_t tick, unsigned short sample)
    {
        while (next_ < pieces_.size() && pieces_[next_].begin <= tick)
            write(pieces_[next_++]);
        if (tick < cut_end_)
            return;
        // The take's own end mark and trailer after a rebuilt block: the
        // block brought its own.
        if (after_block_ != none) {
            const bool end_mark = after_block_ == awaiting_end_mark && sample_in_window(sample, rom_long_pulse);
            if (end_mark || sample_in_window(sample, rom_short_pulse)) {
                after_block_ = in_trailer;
                return;
            }
            after_block_ = none;
        }
        if (from_tap_ && sample > tap_pause_piece)
            sink_.copy_pause_piece(tick, sample);
        else
            sink_.copy(tick, sample);
    }

    void finish()
    {
        while (next_ < pieces_.size())
            write(pieces_[next_++]);
        sink_.end_pause();
    }

private:
    void write(const piece &p)
    {
        if (p.inserted)
            sink_.pause(inserted_file_pause);
        else
            sink_.end_pause();
        if (p.kind != rom_data_block)
            sink_.file_begins(*p.file, !p.inserted);
        write_piece(p, sink_);
        if (p.kind != rom_data_block)
            ++files_written_;
        if (p.inserted) {
            sink_.pause(inserted_file_pause);
            return;
        }
        cut_end_ = std::max(cut_end_, p.end);
        if (p.begin != p.end)
            after_block_ = p.kind == turbo_file ? none : awaiting_end_mark;
    }

    enum { none, awaiting_end_mark, in_trailer } after_block_ = none;
    const std::vector<piece> &pieces_;
    image_sink &sink_;
    bool from_tap_;
    size_t next_ = 0;
    uint64_t cut_end_ = 0;

public:
    unsigned files_written_ = 0;
};

}  // namespace

int clean_tap_write(const char *take_path, const std::vector<std::vector<tape_take_file>> &takes,
                    const std::vector<tape_rescued_file> &files, const sampling_option_values *options,
                    const char *tap_path, int replace, clean_tap_result *result, GError **error,
                    tape_read_control *control)
{
    const std::vector<piece> pieces = plan(takes, files);
    tape_input *input = tape_input_open(take_path, 0, error);
    if (!input)
        return 0;
    tap_file *file = tap_file_create(tap_path, replace, options, error);
    if (!file) {
        tape_input_close(input);
        return 0;
    }
    // The index: the files written afresh where they are written, the first
    // take's others where its samples are copied.
    tap_index_builder index;
    tap_index_builder_init(&index, tap_index_places_marked_ahead);
    std::vector<bool> rewritten(takes.empty() ? 0 : takes[0].size());
    for (const piece &p : pieces)
        if (!p.inserted && p.kind != rom_data_block)
            rewritten[size_t(p.file->in_take[0])] = true;
    for (size_t j = 0; j < rewritten.size(); ++j)
        if (!rewritten[j])
            tap_index_builder_mark(&index, takes[0][j].loader, takes[0][j].first_tick, takes[0][j].name);
    image_sink sink(file, &index, tap_format_for(options));
    rewriter rewrite(pieces, sink, tape_input_get_kind(input) == tape_input_tap);

    std::vector<unsigned short> samples(TAPE_INPUT_BUFFER_SIZE / 2);
    uint64_t tick = 0;
    long got;
    bool stopped = false;
    while ((got = tape_input_read(input, samples.data(), samples.size(), error)) > 0) {
        for (long i = 0; i < got; ++i) {
            rewrite.take(tick, samples[size_t(i)]);
            tick += samples[size_t(i)];
        }
        if (file->writer.error_number != 0)
            break; // the first failure to write ends it
        if (tape_read_control_update(control, input)) {
            stopped = true;
            break;
        }
    }
    tape_input_close(input);
    if (got < 0 || stopped) {
        tap_file_discard(file);
        return 0;
    }
    rewrite.finish();
    const uint64_t written = file->writer.samples;
    if (!tap_file_commit_with_index(file, &index, tap_path, error))
        return 0;
    if (result)
        *result = {rewrite.files_written_, written};
    return 1;
}
