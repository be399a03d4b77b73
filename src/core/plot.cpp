#include "plot.h"

#include "handoff_lane.h"
#include "thread_annotations.h"

#include <atomic>
#include <string.h>

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
// The row under construction. Created once by the interface thread, written
// only by the capture worker afterwards, never freed.
static std::atomic<unsigned char *> blt_buf{nullptr};
// Finished rows on their way to the interface; about 1.5 MB at the most.
static handoff_lane row_lane{{nullptr}, 256};

void plot_set_row_consumer(GSourceFunc consumer)
{
    row_lane.callback.store(consumer);
}

void plot_draw_reference_bands(unsigned char *row, int width)
{
    for (unsigned band = 0; band < G_N_ELEMENTS(band_first); band++) {
        for (int x = band_first[band]; x <= band_last[band] && x < width; x++)
            row[3 * x + 2] = PLOT_BAND_BLUE;
    }
}

// Copies the template for the current width into row; the part of the row
// beyond the width is black. Call with the lock held.
static void reset_row_from_template(unsigned char *row)
{
    int width = drawingarea_properties.width;
    size_t from_template = blt_src ? (size_t)MIN(width, PLOT_ROW_PIXELS) * 3 : 0;
    if (from_template)
        memcpy(row, blt_src, from_template);
    memset(row + from_template, 0, PLOT_ROW_BYTES - from_template);
}

void plot_emit_row(void)
{
    unsigned char *buffer = blt_buf.load(std::memory_order_acquire);
    unsigned char *row = static_cast<unsigned char *>(g_malloc(PLOT_ROW_BYTES));
    memcpy(row, buffer, PLOT_ROW_BYTES);

    annotated_mutex_lock(&g__drawingarea_properties_lock);
    reset_row_from_template(buffer);
    annotated_mutex_unlock(&g__drawingarea_properties_lock);

    if (!handoff_lane_post(&row_lane, row))
        g_free(row);
}

void plot_add_sample(guint32 *tick_sum, unsigned short sample)
{
    *tick_sum += sample;
    unsigned char *buffer = blt_buf.load(std::memory_order_acquire);
    if (!buffer)
        return;
    // A 16-bit sample finishes at most one row once the sum stays below a row.
    while (*tick_sum > PLOT_TICKS_PER_ROW - 1) {
        plot_emit_row();
        *tick_sum -= PLOT_TICKS_PER_ROW;
    }
    guint32 column = sample / ticks_per_column;
    if (column < PLOT_ROW_PIXELS)
        buffer[column * 3 + 1] = PLOT_MARK_GREEN;
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

    annotated_mutex_lock(&g__drawingarea_properties_lock);
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
        unsigned char *buffer = static_cast<unsigned char *>(g_malloc(PLOT_ROW_BYTES));
        reset_row_from_template(buffer);
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

int plot_copy_row_to_image(const unsigned char *row)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    plot_properties *image = &drawingarea_properties;
    int copied = 0;
    if (image->bottom_row && image->width > 0) {
        size_t stride = (size_t)image->rowstride;
        if (image->top + image->height < image->capacity) {
            // A spare row below the picture takes the new row.
            image->top++;
        } else {
            // The store is used up: the picture's newest rows but the oldest
            // go back to its start (every source row lies below its
            // destination, so one forward move does it). The store's last row
            // may have no padding after its pixels.
            if (image->height > 1) {
                size_t length = (size_t)(image->height - 2) * stride + (size_t)image->width * 3;
                memmove(image->pixels, image->pixels + (size_t)(image->top + 1) * stride, length);
            }
            image->top = 0;
        }
        image->bottom_row = image->pixels + (size_t)(image->top + image->height - 1) * stride;
        memcpy(image->bottom_row, row, (size_t)MIN(image->width, PLOT_ROW_PIXELS) * 3);
        copied = 1;
    }
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return copied;
}

int plot_image_top(void)
{
    annotated_mutex_lock(&g__drawingarea_properties_lock);
    int top = drawingarea_properties.top;
    annotated_mutex_unlock(&g__drawingarea_properties_lock);
    return top;
}
