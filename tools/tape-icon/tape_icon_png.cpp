// Writes the built-in cassette picture as a PNG file of the given size.
//
// Usage: zr7k8-tape-icon SIZE OUTPUT.png
// The 48-pixel picture is scaled smoothly (down or up) to SIZE by SIZE
// pixels, transparency kept.
#include "tape_icon.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < 1 || size > 1024) {
        std::fprintf(stderr, "usage: zr7k8-tape-icon SIZE OUTPUT.png (SIZE 1 to 1024)\n");
        return 2;
    }
    GdkPixbuf *picture = gdk_pixbuf_new_from_xpm_data(tape_icon_xpm);
    if (!picture) {
        std::fprintf(stderr, "zr7k8-tape-icon: the built-in picture does not load\n");
        return 1;
    }
    GdkPixbuf *scaled = gdk_pixbuf_scale_simple(picture, size, size, GDK_INTERP_HYPER);
    GError *error = nullptr;
    const bool saved = scaled && gdk_pixbuf_save(scaled, argv[2], "png", &error, nullptr);
    if (!saved)
        std::fprintf(stderr, "zr7k8-tape-icon: %s: %s\n", argv[2], error ? error->message : "cannot scale");
    if (error)
        g_error_free(error);
    if (scaled)
        g_object_unref(scaled);
    g_object_unref(picture);
    return saved ? 0 : 1;
}
