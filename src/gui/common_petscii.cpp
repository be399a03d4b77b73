#include "common_petscii.h"

#include "common.h"
#include "tape/petscii.h"
#include "link/sample_pass.h"
#include "translate.h"

void common_print_petscii_filename(unsigned char *name)
{
    char printable[17];
    petscii_printable_name(name, printable);
    gchar *text = g_strdup_printf(_(" Filename intercepted: %s"), printable);
    common_statusbar_update(text);
    g_free(text);
}

gboolean idle_print_petscii_filename(gpointer data)
{
    common_print_petscii_filename(static_cast<sample_pass_name *>(data)->name);
    g_free(data);
    return FALSE;
}
