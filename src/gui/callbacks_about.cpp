// The about dialog: cassette picture, product line, build description,
// copyright line and the link to the web page.
#include "callbacks_shell.h"

#include "build_date.h"
#include "main.h"
#include "translate.h"

namespace {

const char about_title[] = "About ZR7K8 USB serial client";
const char about_product_line[] = "ZR7K8 USB serial client " ZR7K8_VERSION;
#define ABOUT_COPYRIGHT_MARKUP "<span size=\"small\">Copyright (C) 2026 The ZR7K8 client authors</span>"

void about_pack_label(GtkWidget *vbox, GtkWidget *label)
{
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, FALSE, 0);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    gtk_misc_set_padding(GTK_MISC(label), 5, 5);
    gtk_widget_show(label);
}

}  // namespace

void on_toolbutton_main_about_clicked(GtkToolButton *, gpointer)
{
    GtkWidget *dialog = gtk_dialog_new_with_buttons(
        about_title, GTK_WINDOW(window_main), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        "gtk-ok", GTK_RESPONSE_OK, nullptr);
    gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK));
    gtk_window_set_type_hint(GTK_WINDOW(dialog), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);

    GtkWidget *vbox = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), vbox, FALSE, FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(vbox), 6);
    gtk_widget_show(vbox);

    GdkPixbuf *pixbuf = gdk_pixbuf_new_from_xpm_data(tape_icon_xpm);
    GtkWidget *image = gtk_image_new_from_pixbuf(pixbuf);
    g_object_unref(pixbuf);
    gtk_box_pack_start(GTK_BOX(vbox), image, FALSE, FALSE, 0);
    gtk_misc_set_padding(GTK_MISC(image), 0, 5);
    gtk_widget_show(image);

    gchar *heading = g_markup_printf_escaped("<span size=\"xx-large\"><b>%s</b></span>", about_product_line);
    GtkWidget *label_heading = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label_heading), heading);
    g_free(heading);
    about_pack_label(vbox, label_heading);

    // The build date (the day of SOURCE_DATE_EPOCH when the build had one)
    // and the compiler version are those that built this file; the GTK+
    // version is the library's own, as it runs. The date is filled in rather
    // than written into the text, so that a catalogue can hold the text.
    gchar *description = g_strdup_printf(_("Multi-threaded GUI client for the ZR7K8-LC hardware\n\n"
                                           "Compiled on: %s\n"
                                           "Compiled with gcc version: %d.%d.%d\n"
                                           "GTK+ runtime in use: %u.%u.%u"),
                                         ZR7K8_BUILD_DATE, __GNUC__, __GNUC_MINOR__, __GNUC_PATCHLEVEL__,
                                         gtk_major_version, gtk_minor_version, gtk_micro_version);
    GtkWidget *label_description = gtk_label_new(description);
    g_free(description);
    about_pack_label(vbox, label_description);

    gchar *copyright = g_markup_printf_escaped(ABOUT_COPYRIGHT_MARKUP);
    GtkWidget *label_copyright = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label_copyright), copyright);
    g_free(copyright);
    about_pack_label(vbox, label_copyright);

    GtkWidget *link = gtk_link_button_new(_("https://zr7k8.example/"));
    gtk_box_pack_start(GTK_BOX(vbox), link, FALSE, FALSE, 0);
    gtk_widget_show(link);

    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    g_signal_connect_swapped(dialog, "response", G_CALLBACK(gtk_widget_destroy), dialog);
    gtk_widget_show_all(dialog);
}
