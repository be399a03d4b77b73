#include "plot.h"

#include "handoff_frame.h"
#include "thread_annotations.h"

#include <atomic>
#include <string.h>
#include <utility>

// Reference bands: the ROM loader's short, medium and long pulses (columns
// 94, 132 and 172), six columns either side.
static const int band_first[] = {88, 126, 166};
static const int band_last[] = {100, 138, 178};

static const guint32 ticks_per_column = 8;

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
// The row under construction. Created once by the interface thread, then
// written only by the capture worker, which trades it for a store slot's
// buffer (under the lock) each time it finishes a row: a finished row moves
// into the store without being copied.
static std::atomic<unsigned char *> blt_buf{nullptr};
// Bytes from its start beyond which the row under construction is black: a
// fast stream finishes a row every few dozen samples, and copying and
// clearing only what was drawn keeps that cheap. Worker only, once created.
static size_t blt_extent;
// Finished rows waiting for the interface's next frame: a ring of
// `capacity` rows (the picture's height), `waiting` of them from `first` on.
struct row_store {
    unsigned char **rows;  // per slot: a buffer of PLOT_ROW_BYTES
    size_t *extents;       // per slot: bytes beyond which its row is black
    int capacity;
    int first;
    int waiting;
    int gave_way;  // older rows overwritten since the last take
};
static row_store waiting_rows;

void plot_draw_reference_bands(unsigned char *row, int width)
{
    for (unsigned band = 0; band < G_N_ELEMENTS(band_first); band++) {
        for (int x = band_first[band]; x <= band_last[band] && x < width; x++)
            row[3 * x + 2] = PLOT_BAND_BLUE;
    }
}

// Makes row, black beyond *extent bytes, the template for the current width
// followed by black. Call with the lock held.
static void reset_row_from_template(unsigned char *row, size_t *extent)
{
    int width = drawingarea_properties.width;
    size_t from_template = blt_src ? (size_t)MIN(width, PLOT_ROW_PIXELS) * 3 : 0;
    if (from_template)
        memcpy(row, blt_src, from_template);
    if (*extent > from_template)
        memset(row + from_template, 0, *extent - from_template);
    *extent = from_template;
}

static int store_slot(const row_store *store, int index)
{
    return (store->first + index) % store->capacity;
}

static unsigned char *store_row(const row_store *store, int index)
{
    return store->rows[store_slot(store, index)];
}

// Counts a row that gave way (a count that an interface held up for days
// could overflow stops short of it).
static void store_count_gave_way(row_store *store)
{
    if (store->gave_way < G_MAXINT / 2)
        store->gave_way++;
}

// Puts *row into the store, in place of the oldest waiting one when the store
// is full, and gives back in *row and *extent the buffer of the slot it took
// (a row black beyond its extent). Call with the lock held.
static void store_put(row_store *store, unsigned char **row, size_t *extent)
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
    const int slot = store_slot(store, store->waiting);
    std::swap(store->rows[slot], *row);
    std::swap(store->extents[slot], *extent);
    store->waiting++;
}

void plot_emit_row(void)
{
    unsigned char *buffer = blt_buf.load(std::memory_order_relaxed);
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    store_put(&waiting_rows, &buffer, &blt_extent);
    reset_row_from_template(buffer, &blt_extent);
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    blt_buf.store(buffer, std::memory_order_relaxed);
    handoff_frame_wake();
}

void plot_add_sample(guint32 *tick_sum, unsigned short sample)
{
    plot_add_samples(tick_sum, &sample, 1);
}

void plot_add_samples(guint32 *tick_sum, const unsigned short *samples, unsigned count)
{
    unsigned char *buffer = blt_buf.load(std::memory_order_acquire);
    guint32 sum = *tick_sum;
    if (!buffer) {
        for (unsigned i = 0; i < count; i++)
            sum += samples[i];
        *tick_sum = sum;
        return;
    }
    size_t extent = blt_extent;
    for (unsigned i = 0; i < count; i++) {
        const unsigned short sample = samples[i];
        sum += sample;
        // A 16-bit sample finishes at most one row once the sum stays below a row.
        while (sum > PLOT_TICKS_PER_ROW - 1) {
            blt_extent = extent;
            plot_emit_row();
            buffer = blt_buf.load(std::memory_order_relaxed);
            extent = blt_extent;
            sum -= PLOT_TICKS_PER_ROW;
        }
        guint32 column = sample / ticks_per_column;
        if (column < PLOT_ROW_PIXELS) {
            buffer[column * 3 + 1] = PLOT_MARK_GREEN;
            extent = MAX(extent, (size_t)column * 3 + 3);
        }
    }
    blt_extent = extent;
    *tick_sum = sum;
}

// Frees a store's row buffers and slots.
static void store_free(row_store *store)
{
    for (int i = 0; store->rows && i < store->capacity; i++)
        g_free(store->rows[i]);
    g_free(store->rows);
    g_free(store->extents);
    *store = row_store{};
}

// Makes the store hold `capacity` rows, keeping the newest waiting ones.
// Call with the lock held; `fresh` is an empty store (black rows) of that
// capacity, which this one takes over.
static void store_refit(row_store *store, row_store *fresh)
{
    int kept = MIN(store->waiting, fresh->capacity);
    for (int i = 0; i < kept; i++) {
        int slot = store_slot(store, store->waiting - kept + i);
        std::swap(fresh->rows[i], store->rows[slot]);
        std::swap(fresh->extents[i], store->extents[slot]);
    }
    for (int i = kept; i < store->waiting; i++)
        store_count_gave_way(store);
    int gave_way = store->gave_way;
    store_free(store);
    *store = *fresh;
    store->gave_way = gave_way;
    store->waiting = kept;
}

// An empty store of `capacity` black rows, or one without rows when that
// much memory is not there.
static row_store store_new(int capacity)
{
    row_store fresh{};
    fresh.rows = g_try_new0(unsigned char *, capacity);
    fresh.extents = g_try_new0(size_t, capacity);
    fresh.capacity = capacity;
    for (int i = 0; fresh.rows && i < capacity; i++) {
        fresh.rows[i] = static_cast<unsigned char *>(g_try_malloc0(PLOT_ROW_BYTES));
        if (!fresh.rows[i]) {
            store_free(&fresh);
            return fresh;
        }
    }
    if (!fresh.rows || !fresh.extents)
        store_free(&fresh);
    return fresh;
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
        if (!fresh.rows) {
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
    if (!blt_buf.load(std::memory_order_relaxed)) {
        unsigned char *buffer = static_cast<unsigned char *>(g_malloc0(PLOT_ROW_BYTES));
        reset_row_from_template(buffer, &blt_extent);
        blt_buf.store(buffer, std::memory_order_release);
    }
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
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

// plot_copy_row_to_image with the lock held.
static int copy_row_locked(const unsigned char *row)
{
    plot_properties *image = &drawingarea_properties;
    if (!image->bottom_row || image->width <= 0)
        return 0;
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
    memcpy(image->bottom_row, row, (size_t)MIN(image->width, PLOT_ROW_PIXELS) * 3);
    return 1;
}

int plot_copy_row_to_image(const unsigned char *row)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    int copied = copy_row_locked(row);
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return copied;
}

int plot_take_waiting_rows(void (*take)(const unsigned char *row, void *context), void *context)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    row_store *store = &waiting_rows;
    for (int i = 0; i < store->waiting; i++)
        take(store_row(store, i), context);
    int finished = store->gave_way + store->waiting;
    store->first = 0;
    store->waiting = 0;
    store->gave_way = 0;
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return finished;
}

static void take_into_image(const unsigned char *row, void *copied)
{
    *static_cast<int *>(copied) += copy_row_locked(row);
}

int plot_show_waiting_rows(void)
{
    // When rows gave way, the store was full: the rows taken fill the whole
    // picture, so moving it by them alone shows the same.
    int copied = 0;
    plot_take_waiting_rows(take_into_image, &copied);
    return copied;
}

int plot_image_top(void)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    int top = drawingarea_properties.top;
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return top;
}
