#include "main.h"

#include "callbacks_shell.h"
#include "common.h"
#include "link/handoff.h"
#include "interface.h"
#include "options.h"
#include "support.h"
#include "translate.h"

#include <cstdio>
#include <cstring>

GtkWidget *window_main = nullptr;
GtkWidget *window_format = nullptr;
GtkWidget *window_connection_settings = nullptr;
int flag_abort_requested = 0;
int flag_windows_always_on_top = 0;

namespace {

// Workers reach the interface only through idle callbacks on the main loop.
void main_post_with_gdk_threads_add_idle(GSourceFunc callback, gpointer data)
{
    gdk_threads_add_idle(callback, data);
}

}  // namespace

void main_start_up(int *argc, char ***argv)
{
    // Catalogues come from the program's own folder only; without one every
    // text stays in English.
    translate_bind_beside_program();

    gtk_set_locale();
    gtk_init(argc, argv);
    handoff_set_poster(main_post_with_gdk_threads_add_idle);

    window_main = create_window_main();
    window_format = create_window_format();
    window_connection_settings = create_window_connection_settings();
    // Modal windows of the main window stay in front of it: one hidden behind
    // it would leave a main window that ignores all input, for no reason seen.
    gtk_window_set_transient_for(GTK_WINDOW(window_format), GTK_WINDOW(window_main));
    gtk_window_set_transient_for(GTK_WINDOW(window_connection_settings), GTK_WINDOW(window_main));

    options_module_init();
    if (const char *problem = options_load_problem()) {
        // The file is kept for the user to mend; the values in use are not
        // saved over it.
        gchar *shown = g_filename_display_name(options_config_file_path());
        gchar *text = g_strdup_printf(_(" Settings file %s left as it is: %s"), shown, _(problem));
        common_statusbar_update(text);
        g_free(text);
        g_free(shown);
    }

    // Selecting the first items runs the combos' handlers, which set the
    // initial sampling option values.
    gtk_combo_box_set_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_machine_type")), 0);
    gtk_combo_box_set_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_video_standard")), 0);

    gtk_widget_show(window_main);
    g_signal_connect(window_main, "destroy", G_CALLBACK(quit_program), nullptr);
}

int main_run(int argc, char **argv)
{
    // Answered before GTK+ starts, so that it works where there is no display
    // (a package check, a terminal without X).
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("zr7k8-client " ZR7K8_VERSION "\n");
        return 0;
    }
    main_start_up(&argc, &argv);
    gtk_main();
    return 0;
}
