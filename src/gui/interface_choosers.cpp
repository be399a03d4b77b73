// The file choosers: the dump's save dialog, and those of the programs and
// of the tapes opened, rescued and saved clean.
#include "interface.h"

#include "interface_parts.h"
#include "support.h"
#include "translate.h"

#include <initializer_list>

GtkWidget *create_filechooserdialog_save_dump(void)
{
    GtkWidget *dialog = gtk_file_chooser_dialog_new(_("Save data to a DMP file"), nullptr, GTK_FILE_CHOOSER_ACTION_SAVE,
                                                    nullptr, nullptr);
    gtk_container_set_border_width(GTK_CONTAINER(dialog), 5);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(dialog), GDK_WINDOW_TYPE_HINT_DIALOG);

    GtkWidget *vbox = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_widget_show(vbox);
    GtkWidget *action_area = gtk_dialog_get_action_area(GTK_DIALOG(dialog));
    gtk_widget_show(action_area);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(action_area), GTK_BUTTONBOX_END);

    GtkWidget *cancel = interface_add_dialog_button(dialog, "gtk-cancel", GTK_RESPONSE_CANCEL);
    GtkWidget *ok = interface_add_dialog_button(dialog, "gtk-open", GTK_RESPONSE_OK);

    GtkWidget *write_tap = gtk_check_button_new_with_label(_("Also write a TAP image for emulators"));
    gtk_widget_show(write_tap);
    gtk_file_chooser_set_extra_widget(GTK_FILE_CHOOSER(dialog), write_tap);

    support_register_object_no_ref(dialog, dialog, "filechooserdialog_save_dump");
    support_register_object_no_ref(dialog, vbox, "vbox_save_dump_top_most");
    support_register_object_no_ref(dialog, action_area, "action_area_save_dump");
    interface_register_widgets(dialog, {
        {cancel, "button_save_dump_cancel"},
        {ok, "button_save_dump_ok"},
        {write_tap, "checkbutton_save_dump_write_tap"},
    });

    gtk_widget_grab_default(ok);
    return dialog;
}

namespace {

// A file chooser of the given action with Cancel and OK, registered as
// `name` with its OK button as button_<name without its first word>_ok.
GtkWidget *create_chooser(const char *title, GtkFileChooserAction action, const char *ok_stock, const char *name,
                          const char *ok_name)
{
    GtkWidget *dialog = gtk_file_chooser_dialog_new(title, nullptr, action, nullptr, nullptr);
    gtk_container_set_border_width(GTK_CONTAINER(dialog), 5);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(dialog), GDK_WINDOW_TYPE_HINT_DIALOG);
    interface_add_dialog_button(dialog, "gtk-cancel", GTK_RESPONSE_CANCEL);
    GtkWidget *ok = interface_add_dialog_button(dialog, ok_stock, GTK_RESPONSE_OK);
    support_register_object_no_ref(dialog, dialog, name);
    support_register_widget(dialog, ok, ok_name);
    gtk_widget_grab_default(ok);
    return dialog;
}

}  // namespace

GtkWidget *create_filechooserdialog_save_program(void)
{
    return create_chooser(_("Save Program"), GTK_FILE_CHOOSER_ACTION_SAVE, "gtk-save", "filechooserdialog_save_program",
                          "button_save_program_ok");
}

GtkWidget *create_filechooserdialog_save_all_programs(void)
{
    return create_chooser(_("Save All Programs in a Folder"), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "gtk-save",
                          "filechooserdialog_save_all_programs", "button_save_all_programs_ok");
}

namespace {

// The filters of the choosers that open tapes.
void add_tape_filters(GtkWidget *dialog)
{
    struct filter {
        const char *name;
        const char *patterns[4];
    };
    const filter filters[] = {
        {_("Tapes (*.DMP, *.tap)"), {"*.DMP", "*.dmp", "*.tap", "*.TAP"}},
        {_("ZR7K dump files (*.DMP)"), {"*.DMP", "*.dmp", "*.Dmp", nullptr}},
        {_("TAP images (*.tap)"), {"*.tap", "*.TAP", "*.Tap", nullptr}},
    };
    for (const filter &each : filters) {
        GtkFileFilter *file_filter = gtk_file_filter_new();
        gtk_file_filter_set_name(file_filter, each.name);
        for (const char *pattern : each.patterns)
            if (pattern)
                gtk_file_filter_add_pattern(file_filter, pattern);
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), file_filter);
    }
}

}  // namespace

GtkWidget *create_filechooserdialog_open_tape(void)
{
    GtkWidget *dialog = create_chooser(_("Open Tape"), GTK_FILE_CHOOSER_ACTION_OPEN, "gtk-open",
                                       "filechooserdialog_open_tape", "button_open_tape_ok");
    add_tape_filters(dialog);
    return dialog;
}

GtkWidget *create_filechooserdialog_rescue(void)
{
    GtkWidget *dialog = create_chooser(_("Rescue from Two or More Takes"), GTK_FILE_CHOOSER_ACTION_OPEN, "gtk-open",
                                       "filechooserdialog_rescue", "button_rescue_ok");
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog), TRUE);
    add_tape_filters(dialog);
    return dialog;
}

GtkWidget *create_filechooserdialog_save_clean_tap(void)
{
    GtkWidget *dialog = create_chooser(_("Save Clean TAP Image"), GTK_FILE_CHOOSER_ACTION_SAVE, "gtk-save",
                                       "filechooserdialog_save_clean_tap", "button_save_clean_tap_ok");
    GtkFileFilter *filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, _("TAP images (*.tap)"));
    for (const char *pattern : {"*.tap", "*.TAP", "*.Tap"})
        gtk_file_filter_add_pattern(filter, pattern);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
    return dialog;
}
