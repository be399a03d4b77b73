// Placeholder: minimal handlers so that the main window is wired; this file
// is replaced whole by the capture work.
#include "callbacks_capture.h"

#include "common.h"
#include "main.h"
#include "serial.h"
#include "translate.h"

void on_toolbutton_main_monitor_clicked(GtkToolButton *, gpointer)
{
    common_statusbar_update(_(" Not available yet"));
}

void on_toolbutton_main_dump_clicked(GtkToolButton *, gpointer)
{
    common_statusbar_update(_(" Not available yet"));
}

void on_toolbutton_main_abort_clicked(GtkToolButton *, gpointer)
{
    flag_abort_requested = 1;
    serial_disconnect_port();
}
