#include "tape_file.h"

#include <glib.h>

int tape_read_file(const char *path, std::vector<unsigned char> *bytes, std::string *error)
{
    gchar *contents = nullptr;
    gsize length = 0;
    GError *failure = nullptr;
    if (!g_file_get_contents(path, &contents, &length, &failure)) {
        if (error)
            *error = failure->message;
        g_error_free(failure);
        return 0;
    }
    bytes->assign(contents, contents + length);
    g_free(contents);
    return 1;
}
