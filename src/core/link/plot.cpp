#include "link/plot.h"

#include "link/handoff_frame.h"
#include "tape/rom_format.h"
#include "thread_annotations.h"

#include <atomic>
#include <string.h>

// Reference bands: the centres of the ROM loader's short, medium and long
// pulse windows, six columns either side. A column is one pulse unit.
static const int band_centre[] = {int(pulse_window_centre(rom_short_pulse)), int(pulse_window_centre(rom_medium_pulse)),
                                  int(pulse_window_centre(rom_long_pulse))};
static const int band_half_width = 6;

static const guint32 ticks_per_column = tape_ticks_per_pulse_unit;

struct plot_properties {
    int width;                 // pixels
    int height;                // rows shown
    unsigned char *pixels;     // the store's pixel data, or nullptr: no image
    int rowstride;             // bytes between two store rows
    int capacity;              // rows in the store, at least height
    int top;                   // store row where the picture begins
    unsigned char *bottom_row; // pixels + (top + height - 1) * rowstride
};

static GMutex g__drawingarea_properties_lock;
static plot_properties drawingarea_properties;
static unsigned char *blt_src;  // template row: width * 3 bytes, black with bands

// A row as the worker builds it: one bit per column, set where a pulse fell.
// A fast stream finishes a row every few dozen samples, and 256 bytes of
// marks are far cheaper to clear and to pass on than 6144 of pixels; the
// interface turns the rows it shows into pixels (template, then marks).
static constexpr int row_words = PLOT_ROW_PIXELS / 64;
static constexpr size_t row_marks_bytes = row_words * sizeof(guint64);

// The row under construction. Created by the interface thread at the first
// size and kept for the program's life; written only by the capture worker.
static std::atomic<guint64 *> blt_buf{nullptr};
// Finished rows waiting for the interface's next frame: a ring of
// `capacity` rows (the picture's height), `waiting` of them from `first` on.
struct row_store {
    guint64 *marks;  // capacity rows of row_words words
    int capacity;
    int first;
    int waiting;
    int gave_way;  // older rows overwritten since the last take
};
static row_store waiting_rows;

void plot_draw_reference_bands(unsigned char *row, int width)
{
    for (unsigned band = 0; band < G_N_ELEMENTS(band_centre); band++) {
        for (int x = band_centre[band] - band_half_width; x <= band_centre[band] + band_half_width && x < width; x++)
            row[3 * x + 2] = PLOT_BAND_BLUE;
    }
}

static guint64 *store_row(const row_store *store, int index)
{
    return store->marks + (size_t)((store->first + index) % store->capacity) * row_words;
}

// Counts a row that gave way (a count that an interface held up for days
// could overflow stops short of it).
static void store_count_gave_way(row_store *store)
{
    if (store->gave_way < G_MAXINT / 2)
        store->gave_way++;
}

// Copies a row into the store, in place of the oldest waiting one when the
// store is full. Call with the lock held.
static void store_put(row_store *store, const guint64 *row)
{
    if (store->capacity == 0) {
        store_count_gave_way(store);
        return;
    }
    if (store->waiting == store->capacity) {
        store->first = (store->first + 1) % store->capacity;
        store->waiting--;
        store_count_gave_way(store);
    }
    memcpy(store_row(store, store->waiting), row, row_marks_bytes);
    store->waiting++;
}

void plot_emit_row(void)
{
    guint64 *row = blt_buf.load(std::memory_order_relaxed);
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    store_put(&waiting_rows, row);
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    memset(row, 0, row_marks_bytes);
    handoff_frame_wake();
}

void plot_add_sample(guint32 *tick_sum, unsigned short sample)
{
    plot_add_samples(tick_sum, &sample, 1);
}

void plot_add_samples(guint32 *tick_sum, const unsigned short *samples, unsigned count)
{
    guint64 *row = blt_buf.load(std::memory_order_acquire);
    guint32 sum = *tick_sum;
    if (!row) {
        for (unsigned i = 0; i < count; i++)
            sum += samples[i];
        *tick_sum = sum;
        return;
    }
    for (unsigned i = 0; i < count; i++) {
        const unsigned short sample = samples[i];
        sum += sample;
        // A 16-bit sample finishes at most one row once the sum stays below a row.
        while (sum > PLOT_TICKS_PER_ROW - 1) {
            plot_emit_row();
            sum -= PLOT_TICKS_PER_ROW;
        }
        const guint32 column = sample / ticks_per_column;
        if (column < PLOT_ROW_PIXELS)
            row[column / 64] |= guint64{1} << (column % 64);
    }
    *tick_sum = sum;
}

// Draws a row into `columns` pixels (at most PLOT_ROW_PIXELS): the template
// for the current width, black beyond it, and the row's marks. Call with the
// lock held.
static void draw_row(const guint64 *marks, unsigned char *pixels, int columns)
{
    // The template exists exactly while the width is positive.
    const int from_template = blt_src ? MIN(drawingarea_properties.width, columns) : 0;
    if (from_template > 0)
        memcpy(pixels, blt_src, (size_t)from_template * 3);
    memset(pixels + (size_t)from_template * 3, 0, (size_t)(columns - from_template) * 3);
    for (int word = 0; word < row_words && word * 64 < columns; word++) {
        for (guint64 bits = marks[word]; bits != 0; bits &= bits - 1) {
            const int column = word * 64 + __builtin_ctzll(bits);
            if (column < columns)
                pixels[column * 3 + 1] = PLOT_MARK_GREEN;
        }
    }
}

// A store of `capacity` rows without marks, or one without rows when that
// much memory is not there.
static row_store store_new(int capacity)
{
    row_store fresh{};
    fresh.marks = g_try_new0(guint64, (gsize)capacity * row_words);
    fresh.capacity = fresh.marks ? capacity : 0;
    return fresh;
}

// Makes the store hold `capacity` rows, keeping the newest waiting ones.
// Call with the lock held; `fresh` is an empty store of that capacity, which
// this one takes over.
static void store_refit(row_store *store, row_store *fresh)
{
    const int kept = MIN(store->waiting, fresh->capacity);
    for (int i = 0; i < kept; i++)
        memcpy(store_row(fresh, i), store_row(store, store->waiting - kept + i), row_marks_bytes);
    for (int i = kept; i < store->waiting; i++)
        store_count_gave_way(store);
    const int gave_way = store->gave_way;
    g_free(store->marks);
    *store = *fresh;
    store->gave_way = gave_way;
    store->waiting = kept;
}

int plot_set_image(int width, int height, int capacity, unsigned char *pixels, int rowstride)
{
    unsigned char *template_row = nullptr;
    if (width > 0) {
        template_row = static_cast<unsigned char *>(g_try_malloc0((gsize)width * 3));
        if (!template_row) {
            plot_forget_image();
            return 0;
        }
        plot_draw_reference_bands(template_row, width);
    }
    // The store follows the picture's height.
    int store_capacity = MAX(height, 0);
    row_store fresh{};
    if (store_capacity != waiting_rows.capacity && store_capacity > 0) {
        fresh = store_new(store_capacity);
        if (!fresh.marks) {
            g_free(template_row);
            plot_forget_image();
            return 0;
        }
    }

    annotated_mutex_lock(&g__drawingarea_properties_lock);
    if (store_capacity != waiting_rows.capacity)
        store_refit(&waiting_rows, &fresh);
    g_free(blt_src);
    blt_src = template_row;
    drawingarea_properties.width = width;
    drawingarea_properties.height = height;
    drawingarea_properties.pixels = height > 0 && capacity >= height ? pixels : nullptr;
    drawingarea_properties.rowstride = rowstride;
    drawingarea_properties.capacity = capacity;
    drawingarea_properties.top = 0;
    drawingarea_properties.bottom_row =
        drawingarea_properties.pixels ? pixels + (size_t)(height - 1) * rowstride : nullptr;
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    if (!blt_buf.load(std::memory_order_relaxed))
        blt_buf.store(g_new0(guint64, row_words), std::memory_order_release);
    return 1;
}

void plot_forget_image(void)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    drawingarea_properties.pixels = nullptr;
    drawingarea_properties.bottom_row = nullptr;
    drawingarea_properties.top = 0;
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
}

// Makes room for a new row at the bottom of the picture, whose oldest row
// leaves at the top, and returns where the new row's pixels go, or nullptr
// while there is no image. Call with the lock held.
static unsigned char *next_bottom_row(void)
{
    plot_properties *image = &drawingarea_properties;
    if (!image->bottom_row || image->width <= 0)
        return nullptr;
    size_t stride = (size_t)image->rowstride;
    if (image->top + image->height < image->capacity) {
        // A spare row below the picture takes the new row.
        image->top++;
    } else {
        // The store is used up: the picture's newest rows but the oldest go
        // back to its start (every source row lies below its destination, so
        // one forward move does it). The store's last row may have no
        // padding after its pixels.
        if (image->height > 1) {
            size_t length = (size_t)(image->height - 2) * stride + (size_t)image->width * 3;
            memmove(image->pixels, image->pixels + (size_t)(image->top + 1) * stride, length);
        }
        image->top = 0;
    }
    image->bottom_row = image->pixels + (size_t)(image->top + image->height - 1) * stride;
    return image->bottom_row;
}

int plot_copy_row_to_image(const unsigned char *row)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    unsigned char *bottom = next_bottom_row();
    if (bottom)
        memcpy(bottom, row, (size_t)MIN(drawingarea_properties.width, PLOT_ROW_PIXELS) * 3);
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return bottom != nullptr;
}

// Empties the store; returns how many rows finished since the last take.
// Call with the lock held.
static int store_take_all(row_store *store)
{
    const int finished = store->gave_way + store->waiting;
    store->first = 0;
    store->waiting = 0;
    store->gave_way = 0;
    return finished;
}

int plot_take_waiting_rows(void (*take)(const unsigned char *row, void *context), void *context)
{
    unsigned char pixels[PLOT_ROW_BYTES];
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    for (int i = 0; i < waiting_rows.waiting; i++) {
        draw_row(store_row(&waiting_rows, i), pixels, PLOT_ROW_PIXELS);
        take(pixels, context);
    }
    const int finished = store_take_all(&waiting_rows);
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return finished;
}

int plot_show_waiting_rows(void)
{
    // When rows gave way, the store was full: the rows taken fill the whole
    // picture, so moving it by them alone shows the same.
    int shown = 0;
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    const int columns = MIN(drawingarea_properties.width, PLOT_ROW_PIXELS);
    for (int i = 0; i < waiting_rows.waiting; i++) {
        unsigned char *bottom = next_bottom_row();
        if (!bottom)
            break;
        draw_row(store_row(&waiting_rows, i), bottom, columns);
        shown++;
    }
    store_take_all(&waiting_rows);
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return shown;
}

int plot_image_top(void)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    int top = drawingarea_properties.top;
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return top;
}
