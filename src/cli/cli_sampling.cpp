#include "cli_sampling.h"

#include "cli.h"
#include "sampling_options.h"
#include "translate.h"

namespace {

gchar *machine_text = nullptr;
gchar *video_text = nullptr;
gboolean both_edges = FALSE;
gboolean rising = FALSE;

const GOptionEntry sampling_entries[] = {
    {"machine", 'm', 0, G_OPTION_ARG_STRING, &machine_text,
     N_("The machine the tape is for: c64 (default), vic20, c16 or generic"), N_("MACHINE")},
    {"video", 'v', 0, G_OPTION_ARG_STRING, &video_text, N_("The machine's video standard: pal (default) or ntsc"),
     N_("VIDEO")},
    {"both-edges", 0, 0, G_OPTION_ARG_NONE, &both_edges,
     N_("Trigger on both edges: sample each level on its own (c16 and generic only)"), nullptr},
    {"rising", 0, 0, G_OPTION_ARG_NONE, &rising, N_("Start on a rising edge (generic only)"), nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

// The names accepted for each machine type, in the window's order.
const char *const machine_names[] = {"c64", "vic20", "c16", "generic"};
const char *const video_names[] = {"pal", "ntsc"};

// The index of `text` among `names` (case ignored), or -1.
int lookup(const char *text, const char *const *names, int count)
{
    for (int i = 0; i < count; ++i) {
        if (g_ascii_strcasecmp(text, names[i]) == 0)
            return i;
    }
    return -1;
}

}  // namespace

void cli_sampling_add_options(GOptionContext *context)
{
    g_option_context_add_main_entries(context, sampling_entries, nullptr);
}

int cli_sampling_values(sampling_option_values *values)
{
    *values = {SAMPLING_MACHINE_C64, 0, both_edges ? 1 : 0, rising ? 1 : 0};
    if (machine_text) {
        values->machine_type = lookup(machine_text, machine_names, G_N_ELEMENTS(machine_names));
        if (values->machine_type < 0)
            return cli_refuse("unknown machine type '%s' (c64, vic20, c16 or generic)", machine_text);
    }
    if (video_text) {
        values->video_standard = lookup(video_text, video_names, G_N_ELEMENTS(video_names));
        if (values->video_standard < 0)
            return cli_refuse("unknown video standard '%s' (pal or ntsc)", video_text);
    }
    const char *machine = machine_names[values->machine_type];
    if (both_edges && !sampling_machine_uses_both_edges(values->machine_type))
        cli_say("Note: --both-edges does nothing for %s (only c16 and generic use it)", machine);
    if (rising && !sampling_machine_uses_rising_start(values->machine_type))
        cli_say("Note: --rising does nothing for %s (only generic uses it)", machine);
    return CLI_EXIT_OK;
}

int cli_parse_with_sampling(GOptionContext *context, int *argc, char ***argv, int min_args, int max_args,
                            sampling_option_values *values)
{
    const int parsed = cli_parse(context, argc, argv, min_args, max_args);
    g_option_context_free(context);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    return cli_sampling_values(values) == CLI_EXIT_OK ? CLI_EXIT_OK : CLI_EXIT_USAGE;
}
