// The built-in cassette picture, the one source of every picture of the
// program: the about dialog shows it, and the build renders the desktop icons
// from it. Plain data, so tools link it without GTK+.
#pragma once

// XPM data, 48 by 48 pixels, 73 colours, one character per pixel (122
// strings). For gdk_pixbuf_new_from_xpm_data.
extern const char *tape_icon_xpm[];
