// Placeholder: minimal handlers so that the main window is wired; this file
// is replaced whole by the maintenance work.
#include "callbacks_maintenance.h"

#include "common.h"
#include "translate.h"

void on_toolbutton_main_reboot_clicked(GtkToolButton *, gpointer)
{
    common_statusbar_update(_(" Not available yet"));
}

void on_toolbutton_main_firmware_update_clicked(GtkToolButton *, gpointer)
{
    common_statusbar_update(_(" Not available yet"));
}
