// The pulse plot's row builder and its shared size record.
//
// Each plot row covers 100000 ticks of tape time; a pulse lights the pixel in
// column sample / 8 (columns 0 to 2047 exist). The capture worker builds the
// current row in blt_buf and hands every finished row, as a heap copy, to the
// row consumer that the interface registered; the interface thread owns the
// image, tells this module its size and asks it to scroll rows in.
//
// g__drawingarea_properties_lock (file-local here) guards the size record and
// the template row blt_src; it is held only for short copies and no other lock
// is taken while it is held.
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

// Hands a copy of the row under construction to the row consumer and resets
// the row from the template for the current width. Step of plot_add_sample.
void plot_emit_row(void);

// ---- interface thread (everything below) ----

// Registers the callback that receives each finished row (PLOT_ROW_BYTES bytes
// from g_malloc, which the callback frees) through handoff_post. Without a
// consumer finished rows are dropped, and so are rows finished while 256 of
// them still wait for the interface (a stream far faster than a tape plays).
// Call before any capture starts.
void plot_set_row_consumer(GSourceFunc consumer);

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
// every capacity - height rows. Rebuilds the template row and, on the first
// call, creates the row under construction. The picture starts at store row
// 0. Returns 1, or 0 when memory for the template could not be had (the plot
// then has no image).
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
