#include "cli_names.h"

#include "name_finder.h"
#include "petscii.h"
#include "tape_time.h"

#include <cstdio>
#include <cstring>

const char *cli_print_name(const char *file, const sample_pass_name *found)
{
    static char shown[17];
    unsigned char name[17];
    std::memcpy(name, found->name, sizeof name);
    petscii_printable_name(name, shown);
    gchar *time = tape_time_text_tenths(found->tape_ticks);
    if (file)
        std::printf("%s\t", file);
    std::printf("%s\t%s\t%s\n", time, name_loader_label(found->loader), shown);
    std::fflush(stdout);
    g_free(time);
    return shown;
}
