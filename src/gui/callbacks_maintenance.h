// Placeholder: minimal handlers so that the main window is wired; this file
// is replaced whole by the maintenance work.
//
// Reboot and FW Update buttons.
#pragma once

#include <gtk/gtk.h>

void on_toolbutton_main_reboot_clicked(GtkToolButton *toolbutton, gpointer user_data);
void on_toolbutton_main_firmware_update_clicked(GtkToolButton *toolbutton, gpointer user_data);
