#include "tape/tap_index_file.h"

#include "staged_file.h"
#include "tape/loader_table.h"
#include "tape/petscii.h"
#include "tape/tap_writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t name_length_max = 27;
constexpr size_t file_size_limit = 8192;

std::string shown_name(const unsigned char raw[16])
{
    std::string text = petscii_printable_field(raw);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.empty())
        text = "unnamed";
    return text.substr(0, name_length_max);
}

// The place of the sample taken as the place-th (the ring is a power of two
// long).
tap_index_place &place_of(tap_index_builder *b, uint64_t place)
{
    return b->places[place & (b->places.size() - 1)];
}

uint64_t oldest_kept(const tap_index_builder *b)
{
    return b->places_kept - std::min<uint64_t>(b->places_kept, b->places.size());
}

// The place kept of the sample that begins at tick: the newest that begins
// at or before it (the oldest kept when it is older).
uint64_t place_at(tap_index_builder *b, uint64_t tick)
{
    uint64_t low = oldest_kept(b), high = b->places_kept - 1;
    while (low < high) {
        const uint64_t middle = low + (high - low + 1) / 2;
        if (place_of(b, middle).tick <= tick)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// The entry where a file's pilot begins: lead_samples before the place
// kept (or the oldest kept).
void place(tap_index_builder *b, uint64_t place, const tap_index_mark &mark)
{
    const uint64_t oldest = oldest_kept(b);
    place = place >= oldest + mark.lead_samples ? place - mark.lead_samples : oldest;
    b->entries.push_back({place_of(b, place).offset, mark.name});
}

// The pilot-byte loaders' readers (one pulse a bit) say their pilot begins
// after the byte that aligned them; a player needs that byte too.
unsigned aligning_samples(tape_loader loader)
{
    return tape_loader_pilot_format(loader) ? 8u : 0u;
}

bool earlier(const tap_index_mark &x, const tap_index_mark &y)
{
    return x.tick < y.tick;
}

}  // namespace

void tap_index_builder_init(tap_index_builder *builder, unsigned places)
{
    builder->places.assign(std::bit_ceil(std::max(places, 1u)), {});
    builder->marks.clear();
    builder->placed = 0;
    builder->tick = 0;
    builder->places_kept = 0;
    builder->entries.clear();
}

void tap_index_builder_take(tap_index_builder *builder, const tape_file_event *event)
{
    if (event->verdict != tape_verdict_reading && event->verdict != tape_verdict_not_checked)
        return; // a judgement of a file listed already
    tap_index_builder_mark(builder, event->loader, event->first_tick, event->name);
}

void tap_index_builder_take_record(void *builder, const tape_file_event *event)
{
    tap_index_builder_take(static_cast<tap_index_builder *>(builder), event);
}

void tap_index_builder_mark(tap_index_builder *b, tape_loader loader, uint64_t tick, const unsigned char name[16])
{
    const tap_index_mark mark{tick, aligning_samples(loader), shown_name(name)};
    if (b->places_kept != 0 && tick < b->tick) {
        place(b, place_at(b, tick), mark);
        return;
    }
    // Two formats' records a batch apart can come out of order.
    b->marks.insert(std::upper_bound(b->marks.begin() + long(b->placed), b->marks.end(), mark, earlier), mark);
}

void tap_index_builder_add(tap_index_builder *b, tape_loader loader, const unsigned char name[16], uint64_t offset,
                           bool after_aligning_byte)
{
    const tap_index_mark mark{0, after_aligning_byte ? aligning_samples(loader) : 0u, shown_name(name)};
    if (mark.lead_samples != 0 && b->places_kept != 0)
        place(b, b->places_kept, mark);
    else
        b->entries.push_back({offset, mark.name});
}

void tap_index_builder_copy(tap_index_builder *b, uint64_t tick, unsigned short sample, uint64_t offset)
{
    place_of(b, b->places_kept++) = {tick, offset};
    b->tick = tick + sample;
    while (b->placed < b->marks.size() && b->marks[b->placed].tick < b->tick)
        place(b, b->places_kept - 1, b->marks[b->placed++]);
}

void tap_index_builder_feed(tap_index_builder *b, unsigned short sample, uint64_t offset)
{
    tap_index_builder_copy(b, b->tick, sample, offset);
}

std::string tap_index_text(const char *image_name, const std::vector<tap_index_entry> &entries)
{
    std::string image = image_name;
    for (char &c : image)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '_';
    std::string text = "; " + image + "\n";
    std::vector<tap_index_entry> in_order = entries;
    std::stable_sort(in_order.begin(), in_order.end(),
                     [](const tap_index_entry &x, const tap_index_entry &y) { return x.offset < y.offset; });
    for (const tap_index_entry &entry : in_order) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "0x%llX ", static_cast<unsigned long long>(entry.offset));
        const std::string line = offset + entry.name + "\n";
        if (text.size() + line.size() >= file_size_limit)
            break;
        text += line;
    }
    return text;
}

gchar *tap_index_path(const char *tap_path)
{
    const size_t length = std::strlen(tap_path);
    if (length >= 4 && g_ascii_strcasecmp(tap_path + length - 4, ".tap") == 0)
        return g_strdup_printf("%.*s.idx", int(length - 4), tap_path);
    return g_strdup_printf("%s.idx", tap_path);
}

int tap_index_write(const char *tap_path, const std::vector<tap_index_entry> &entries, int replace,
                    GError **error)
{
    gchar *path = tap_index_path(tap_path);
    gchar *image = g_path_get_basename(tap_path);
    const std::string text = tap_index_text(image, entries);
    g_free(image);
    staged_file *file = replace ? staged_file_create(path, error) : staged_file_create_new(path, error);
    g_free(path);
    if (!file)
        return 0;
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t got = write(file->fd, text.data() + written, text.size() - written);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const int reason = got < 0 ? errno : EIO;
            g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(reason), g_strerror(reason));
            staged_file_discard(file);
            return 0;
        }
        written += size_t(got);
    }
    return staged_file_commit(file, error);
}
