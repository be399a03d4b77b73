// The pulse plot's row builder and its shared size record.
//
// Each plot row covers 100000 ticks of tape time; a pulse lights the pixel in
// column sample / 8 (columns 0 to 2047 exist). The capture worker builds the
// current row in blt_buf, as one mark bit per column, and puts a copy of
// every finished row into the row store, where it waits for the interface's
// next frame (handoff_frame.h); the interface thread owns the image, tells
// this module its size and takes the waiting rows into it, all of them in one
// move, drawing each as the template for the current width with its marks in
// green.
//
// The row store holds as many rows as the picture is high. When more finish
// before the interface comes round (a stream far faster than a tape plays,
// or an interface held up), the oldest waiting row gives way to the newest:
// it would have left the picture before the frame that shows it anyway, so
// the picture is the same as if every row had been drawn. The worker never
// waits for the interface, and the store never grows.
//
// g__drawingarea_properties_lock (file-local here) guards the size record,
// the template row blt_src and the row store; it is held only for short
// copies and no other lock is taken while it is held.
#pragma once

#include <glib.h>

#define PLOT_ROW_PIXELS 2048
#define PLOT_ROW_BYTES (PLOT_ROW_PIXELS * 3)
#define PLOT_TICKS_PER_ROW 100000

// Colours: a band pixel's blue component, a pulse mark's green component.
#define PLOT_BAND_BLUE 80
#define PLOT_MARK_GREEN 255

// ---- capture worker ----

// Accounts one sample's ticks in the capture's running tick sum (0 at the
// start of a capture), finishes a row each time the sum passes 99999, and
// marks the sample's column in the row under construction. Before the plot
// has its first size, only the sum grows. Never blocks beyond the short lock.
void plot_add_sample(guint32 *tick_sum, unsigned short sample);

// plot_add_sample for each of `count` samples in turn.
void plot_add_samples(guint32 *tick_sum, const unsigned short *samples, unsigned count);

// Copies the row under construction into the row store, clears its marks and
// wakes the interface's frame clock (handoff_frame_wake). Step of
// plot_add_sample.
void plot_emit_row(void);

// ---- interface thread (everything below) ----

// Takes every row that waits in the store, oldest first, handing each to
// `take` drawn as PLOT_ROW_BYTES bytes of pixels (valid during the call;
// black beyond the width, marks anywhere; the plot's lock is
// held, so `take` must not call this module). Returns how many rows were
// finished since the last take: the rows handed over and, older than them,
// those that gave way while the store was full.
int plot_take_waiting_rows(void (*take)(const unsigned char *row, void *context), void *context);

// Takes the waiting rows into the image, as plot_copy_row_to_image would one
// by one. Returns how many rows the picture moved up, or 0 while there is no
// image (the rows are then dropped).
int plot_show_waiting_rows(void);

// Sets the blue component of every reference band pixel among the first width
// pixels of one RGB row (3 bytes per pixel); other bytes stay as they are.
// Any thread.
void plot_draw_reference_bands(unsigned char *row, int width);

// The image now has this size. Its rows live in a store of `capacity` rows
// (at least height) of RGB pixel data (3 bytes per pixel, rows rowstride bytes
// apart, the last row possibly unpadded), owned by the caller and valid until
// the next plot_set_image or plot_forget_image; the picture shown is the
// height rows from plot_image_top() on. Spare rows let a new row go in
// without moving the picture: it moves only when the store is used up, once
// every capacity - height rows. Rebuilds the template row, fits the row store
// to the new height (keeping the newest waiting rows) and, on the first call,
// creates the row under construction. The picture starts at store row 0.
// Returns 1, or 0 when memory for the template or the row store could not be
// had (the plot then has no image).
int plot_set_image(int width, int height, int capacity, unsigned char *pixels, int rowstride);

// The image is gone (its creation failed): rows are dropped until the next
// plot_set_image.
void plot_forget_image(void);

// Adds row at the bottom of the picture, whose oldest row leaves at the top:
// the first min(width, 2048) pixels of row are copied. Returns 1, or 0
// (nothing touched) while there is no image.
int plot_copy_row_to_image(const unsigned char *row);

// The store row where the picture begins (0 while there is no image).
int plot_image_top(void);
