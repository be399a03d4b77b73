#include "interface.h"

#include "interface_parts.h"

#include "callbacks_capture.h"
#include "callbacks_clean_tap.h"
#include "callbacks_contents.h"
#include "callbacks_health.h"
#include "callbacks_format.h"
#include "callbacks_indicator.h"
#include "callbacks_maintenance.h"
#include "callbacks_open_tape.h"
#include "callbacks_plot.h"
#include "callbacks_programs.h"
#include "callbacks_rescue.h"
#include "callbacks_settings.h"
#include "callbacks_shell.h"
#include "support.h"
#include "translate.h"

#include <gdk/gdkkeysyms.h>

#include <initializer_list>

namespace {

// The window's tooltips object: sunk so that the window holds its only
// reference and releases it when it goes away.
GtkTooltips *interface_new_tooltips(GtkWidget *toplevel)
{
    GtkTooltips *tooltips = gtk_tooltips_new();
    g_object_ref_sink(tooltips);
    g_object_set_data_full(G_OBJECT(toplevel), "tooltips", tooltips, g_object_unref);
    return tooltips;
}

// Escape that no widget of the window took (an open list of completions
// takes its own) closes the window as its close button does: through
// "delete_event", so the window's own handler decides what closing means.
gboolean interface_close_on_escape(GtkWidget *window, GdkEventKey *event, gpointer)
{
    if (event->keyval != GDK_KEY_Escape || !gtk_widget_get_window(window))
        return FALSE;
    GdkEvent *close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    close->any.send_event = TRUE;
    gtk_main_do_event(close);
    gdk_event_free(close);
    return TRUE;
}

// The frame of both settings windows: centred, modal, fixed size, closed by
// Escape.
GtkWidget *interface_new_settings_window(const char *title)
{
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), title);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    g_signal_connect_after(window, "key_press_event", G_CALLBACK(interface_close_on_escape), nullptr);
    return window;
}

GtkWidget *interface_add_tool_button(GtkWidget *window, GtkWidget *toolbar, GtkTooltips *tooltips,
                                     GtkIconSize icon_size, const char *name, const char *stock_id,
                                     const char *label, const char *tooltip, GCallback on_clicked)
{
    GtkWidget *image = gtk_image_new_from_stock(stock_id, icon_size);
    gtk_widget_show(image);
    GtkWidget *button = GTK_WIDGET(gtk_tool_button_new(image, label));
    gtk_widget_show(button);
    gtk_container_add(GTK_CONTAINER(toolbar), button);
    gtk_tool_item_set_tooltip(GTK_TOOL_ITEM(button), tooltips, tooltip, nullptr);
    gtk_tool_item_set_homogeneous(GTK_TOOL_ITEM(button), FALSE);
    g_signal_connect(button, "clicked", on_clicked, nullptr);
    support_register_widget(window, button, name);
    return button;
}

// A row label of a settings table: left-aligned, vertically centred, filling
// its cell across only.
GtkWidget *interface_attach_row_label(GtkWidget *table, const char *text, guint row)
{
    GtkWidget *label = gtk_label_new(text);
    gtk_widget_show(label);
    gtk_table_attach(GTK_TABLE(table), label, 0, 1, row, row + 1, GTK_FILL, GtkAttachOptions(0), 0, 0);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    return label;
}

void interface_add_separator(GtkWidget *window, GtkWidget *toolbar, const char *name)
{
    GtkWidget *separator = GTK_WIDGET(gtk_separator_tool_item_new());
    gtk_widget_show(separator);
    gtk_container_add(GTK_CONTAINER(toolbar), separator);
    support_register_widget(window, separator, name);
}

// The plot narrowed by the bar between it and the list still shows the three
// reference bands and the longest pulses of the tape formats with room to
// spare.
constexpr gint plot_narrowest_by_hand = 288;

void interface_keep_plot_width(GtkPaned *paned, GParamSpec *, gpointer)
{
    if (gtk_paned_get_position(paned) < plot_narrowest_by_hand)
        gtk_paned_set_position(paned, plot_narrowest_by_hand);
}

}  // namespace

GtkWidget *interface_add_dialog_button(GtkWidget *dialog, const char *stock_id, gint response)
{
    GtkWidget *button = gtk_button_new_from_stock(stock_id);
    gtk_widget_show(button);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), button, response);
    gtk_widget_set_can_default(button, TRUE);
    return button;
}

void interface_register_widgets(GtkWidget *window, std::initializer_list<interface_named_widget> widgets)
{
    for (const interface_named_widget &named : widgets)
        support_register_widget(window, named.widget, named.name);
}

GtkWidget *create_window_main(void)
{
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkTooltips *tooltips = interface_new_tooltips(window);
    gtk_window_set_title(GTK_WINDOW(window),
                         _("ZR7K8 USB serial client - Copyright (C) 2026 The ZR7K8 client authors"));
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);

    GtkWidget *vbox = gtk_vbox_new(FALSE, 0);
    gtk_widget_show(vbox);
    gtk_container_add(GTK_CONTAINER(window), vbox);

    GtkWidget *toolbar = gtk_toolbar_new();
    gtk_widget_show(toolbar);
    gtk_box_pack_start(GTK_BOX(vbox), toolbar, FALSE, FALSE, 0);
    gtk_toolbar_set_style(GTK_TOOLBAR(toolbar), GTK_TOOLBAR_BOTH);
    // With the overflow arrow the toolbar asks for almost no width and the
    // last buttons vanish into a menu; without it the window opens wide
    // enough for all of them.
    gtk_toolbar_set_show_arrow(GTK_TOOLBAR(toolbar), FALSE);
    GtkIconSize icon_size = gtk_toolbar_get_icon_size(GTK_TOOLBAR(toolbar));

    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_settings", "gtk-preferences",
                              _("Settings"), _("Select port settings"),
                              G_CALLBACK(on_toolbutton_main_settings_clicked));
    interface_add_separator(window, toolbar, "separatortoolitem_main_1");
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_format", "gtk-convert",
                              _("Options"), _("Select sampling format"),
                              G_CALLBACK(on_toolbutton_main_format_clicked));
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_monitor", "gtk-media-record",
                              _("Preview"), _("Preview dumping without saving to file"),
                              G_CALLBACK(on_toolbutton_main_monitor_clicked));
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_dump", "gtk-save-as",
                              _("Dump"), _("Start dumping a tape to file"),
                              G_CALLBACK(on_toolbutton_main_dump_clicked));
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_open_tape", "gtk-open",
                              _("Open Tape..."), _("Show the files of a DMP file or TAP image made earlier"),
                              G_CALLBACK(on_toolbutton_main_open_tape_clicked));
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_rescue", "gtk-dnd-multiple",
                              _("Rescue..."),
                              _("Combine two or more takes of one tape side, so that files no take reads alone "
                                "come back"),
                              G_CALLBACK(on_toolbutton_main_rescue_clicked));
    GtkWidget *abort = interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_abort",
                                                 "gtk-stop", _("Abort"), _("Stop dumping"),
                                                 G_CALLBACK(on_toolbutton_main_abort_clicked));
    gtk_widget_set_sensitive(abort, FALSE);
    interface_add_separator(window, toolbar, "separatortoolitem_main_2");
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_reboot", "gtk-jump-to",
                              _("Reboot"), _("Reboot the device"),
                              G_CALLBACK(on_toolbutton_main_reboot_clicked));
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_firmware_update",
                              "gtk-refresh", _("FW Update"), _("Update the device firmware"),
                              G_CALLBACK(on_toolbutton_main_firmware_update_clicked));
    interface_add_separator(window, toolbar, "separatortoolitem_main_3");
    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_about", "gtk-about",
                              _("About"), _("Show program credits"),
                              G_CALLBACK(on_toolbutton_main_about_clicked));
    interface_add_separator(window, toolbar, "separatortoolitem_main_4");

    GtkWidget *stay_on_top = GTK_WIDGET(gtk_toggle_tool_button_new());
    gtk_tool_button_set_label(GTK_TOOL_BUTTON(stay_on_top), _("Stay on top"));
    GtkWidget *stay_on_top_image = gtk_image_new_from_stock("gtk-goto-top", icon_size);
    gtk_widget_show(stay_on_top_image);
    gtk_tool_button_set_icon_widget(GTK_TOOL_BUTTON(stay_on_top), stay_on_top_image);
    gtk_widget_show(stay_on_top);
    gtk_container_add(GTK_CONTAINER(toolbar), stay_on_top);
    gtk_tool_item_set_tooltip(GTK_TOOL_ITEM(stay_on_top), tooltips, _("Keep the application always on top"),
                              nullptr);
    g_signal_connect(stay_on_top, "toggled", G_CALLBACK(on_toolbutton_main_stay_on_top_toggled), nullptr);
    support_register_widget(window, stay_on_top, "toolbutton_main_stay_on_top");

    interface_add_tool_button(window, toolbar, tooltips, icon_size, "toolbutton_main_quit", "gtk-quit",
                              _("Quit"), _("Quit the application"), G_CALLBACK(on_toolbutton_main_quit_clicked));

    // The plot and the tape's contents side by side. The window never gets
    // smaller than the plot's minimum beside the list, and the user may give
    // either side more room: the list grows into the plot down to
    // plot_narrowest_by_hand.
    GtkWidget *hpaned = gtk_hpaned_new();
    gtk_widget_show(hpaned);
    gtk_box_pack_start(GTK_BOX(vbox), hpaned, TRUE, TRUE, 0);
    g_signal_connect(hpaned, "notify::position", G_CALLBACK(interface_keep_plot_width), nullptr);

    GtkWidget *drawingarea_main = gtk_drawing_area_new();
    gtk_widget_show(drawingarea_main);
    gtk_paned_pack1(GTK_PANED(hpaned), drawingarea_main, TRUE, TRUE);
    gtk_widget_set_size_request(drawingarea_main, 576, 400);

    // The list, and below it the buttons that save its programs.
    GtkWidget *vbox_contents = gtk_vbox_new(FALSE, 4);
    gtk_widget_show(vbox_contents);
    gtk_paned_pack2(GTK_PANED(hpaned), vbox_contents, FALSE, TRUE);
    GtkWidget *scrolledwindow_contents = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_show(scrolledwindow_contents);
    gtk_box_pack_start(GTK_BOX(vbox_contents), scrolledwindow_contents, TRUE, TRUE, 0);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolledwindow_contents), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolledwindow_contents), GTK_SHADOW_IN);

    GtkWidget *treeview_contents = gtk_tree_view_new();
    gtk_widget_show(treeview_contents);
    gtk_container_add(GTK_CONTAINER(scrolledwindow_contents), treeview_contents);
    callbacks_contents_set_up_view(GTK_SCROLLED_WINDOW(scrolledwindow_contents), GTK_TREE_VIEW(treeview_contents));
    g_signal_connect(treeview_contents, "row-activated", G_CALLBACK(on_treeview_main_tape_contents_row_activated),
                     nullptr);
    GtkWidget *hbox_programs = gtk_hbutton_box_new();
    gtk_widget_show(hbox_programs);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(hbox_programs), GTK_BUTTONBOX_END);
    gtk_box_set_spacing(GTK_BOX(hbox_programs), 4);
    gtk_box_pack_start(GTK_BOX(vbox_contents), hbox_programs, FALSE, FALSE, 0);
    GtkWidget *button_save_program = gtk_button_new_with_mnemonic(_("_Save Program..."));
    gtk_widget_show(button_save_program);
    gtk_container_add(GTK_CONTAINER(hbox_programs), button_save_program);
    gtk_widget_set_sensitive(button_save_program, FALSE);
    g_signal_connect(button_save_program, "clicked", G_CALLBACK(on_button_main_save_program_clicked), nullptr);
    GtkWidget *button_save_all_programs = gtk_button_new_with_mnemonic(_("Save _All Programs..."));
    gtk_widget_show(button_save_all_programs);
    gtk_container_add(GTK_CONTAINER(hbox_programs), button_save_all_programs);
    gtk_widget_set_sensitive(button_save_all_programs, FALSE);
    g_signal_connect(button_save_all_programs, "clicked", G_CALLBACK(on_button_main_save_all_programs_clicked),
                     nullptr);
    GtkWidget *button_save_clean_tap = gtk_button_new_with_mnemonic(_("Save Clean _TAP..."));
    gtk_widget_show(button_save_clean_tap);
    gtk_container_add(GTK_CONTAINER(hbox_programs), button_save_clean_tap);
    gtk_widget_set_sensitive(button_save_clean_tap, FALSE);
    gtk_tooltips_set_tip(tooltips, button_save_clean_tap,
                         _("Save the tape in the list as a TAP image whose files read are written afresh"), nullptr);
    g_signal_connect(button_save_clean_tap, "clicked", G_CALLBACK(on_button_main_save_clean_tap_clicked), nullptr);
    g_signal_connect(gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_contents)), "changed",
                     G_CALLBACK(+[](GtkTreeSelection *, gpointer) { callbacks_programs_update_buttons(); }), nullptr);

    GtkWidget *hbox_status = gtk_hbox_new(FALSE, 0);
    gtk_widget_show(hbox_status);
    gtk_box_pack_start(GTK_BOX(vbox), hbox_status, FALSE, FALSE, 0);

    GtkWidget *statusbar = gtk_statusbar_new();
    gtk_widget_show(statusbar);
    gtk_box_pack_start(GTK_BOX(hbox_status), statusbar, TRUE, TRUE, 0);
    gtk_statusbar_set_has_resize_grip(GTK_STATUSBAR(statusbar), FALSE);

    // The tape clock: tape time (and dump size) of the running capture.
    GtkWidget *label_tape_clock = gtk_label_new("");
    gtk_widget_show(label_tape_clock);
    gtk_box_pack_start(GTK_BOX(hbox_status), label_tape_clock, FALSE, FALSE, 4);

    // The tape's health: speed and spread, and a gauge of the spread. In an
    // event box, which gives the label a window for the tooltip.
    GtkWidget *eventbox_tape_health = gtk_event_box_new();
    gtk_widget_show(eventbox_tape_health);
    gtk_box_pack_start(GTK_BOX(hbox_status), eventbox_tape_health, FALSE, FALSE, 4);
    gtk_tooltips_set_tip(tooltips, eventbox_tape_health,
                         _("Tape speed and pulse spread, measured on the pilot that opens each file. The gauge turns "
                           "yellow, then red, as the pulses come near the edges of the loaders' windows."),
                         nullptr);

    GtkWidget *hbox_tape_health = gtk_hbox_new(FALSE, 4);
    gtk_widget_show(hbox_tape_health);
    gtk_container_add(GTK_CONTAINER(eventbox_tape_health), hbox_tape_health);

    GtkWidget *label_tape_health = gtk_label_new("");
    gtk_widget_show(label_tape_health);
    gtk_box_pack_start(GTK_BOX(hbox_tape_health), label_tape_health, FALSE, FALSE, 0);

    GtkWidget *alignment_tape_health = gtk_alignment_new(0.5, 0.5, 1, 0);
    gtk_widget_show(alignment_tape_health);
    gtk_box_pack_start(GTK_BOX(hbox_tape_health), alignment_tape_health, FALSE, FALSE, 0);

    GtkWidget *drawingarea_tape_health = gtk_drawing_area_new();
    gtk_widget_show(drawingarea_tape_health);
    gtk_container_add(GTK_CONTAINER(alignment_tape_health), drawingarea_tape_health);
    gtk_widget_set_size_request(drawingarea_tape_health, 40, 10);

    GtkWidget *frame_flash = gtk_frame_new(nullptr);
    gtk_widget_show(frame_flash);
    gtk_box_pack_start(GTK_BOX(hbox_status), frame_flash, FALSE, FALSE, 0);
    gtk_frame_set_label_align(GTK_FRAME(frame_flash), 0.5, 0.5);
    gtk_frame_set_shadow_type(GTK_FRAME(frame_flash), GTK_SHADOW_IN);

    GtkWidget *alignment_flash = gtk_alignment_new(0.5, 0.5, 1, 1);
    gtk_widget_show(alignment_flash);
    gtk_container_add(GTK_CONTAINER(frame_flash), alignment_flash);

    GtkWidget *drawingarea_flash = gtk_drawing_area_new();
    gtk_widget_show(drawingarea_flash);
    gtk_container_add(GTK_CONTAINER(alignment_flash), drawingarea_flash);
    gtk_widget_set_size_request(drawingarea_flash, 8, 8);

    g_signal_connect(window, "delete_event", G_CALLBACK(on_window_main_delete_event), nullptr);
    g_signal_connect(drawingarea_main, "configure_event", G_CALLBACK(on_drawingarea_main_configure_event), nullptr);
    g_signal_connect(drawingarea_main, "expose_event", G_CALLBACK(on_drawingarea_main_expose_event), nullptr);
    g_signal_connect(drawingarea_flash, "configure_event", G_CALLBACK(on_drawingarea_flash_configure_event),
                     nullptr);
    g_signal_connect(drawingarea_flash, "expose_event", G_CALLBACK(on_drawingarea_flash_expose_event), nullptr);
    g_signal_connect(drawingarea_tape_health, "expose_event",
                     G_CALLBACK(on_drawingarea_main_tape_health_expose_event), nullptr);

    support_register_object_no_ref(window, window, "window_main");
    interface_register_widgets(window, {
        {vbox, "vbox_main_top_most"},
        {toolbar, "toolbar_main"},
        {hpaned, "hpaned_main"},
        {drawingarea_main, "drawingarea_main"},
        {scrolledwindow_contents, "scrolledwindow_main_tape_contents"},
        {treeview_contents, "treeview_main_tape_contents"},
        {button_save_program, "button_main_save_program"},
        {button_save_all_programs, "button_main_save_all_programs"},
        {button_save_clean_tap, "button_main_save_clean_tap"},
        {hbox_status, "hbox_status"},
        {statusbar, "statusbar_main"},
        {label_tape_clock, "label_main_tape_clock"},
        {eventbox_tape_health, "eventbox_main_tape_health"},
        {hbox_tape_health, "hbox_main_tape_health"},
        {label_tape_health, "label_main_tape_health"},
        {alignment_tape_health, "alignment_main_tape_health"},
        {drawingarea_tape_health, "drawingarea_main_tape_health"},
        {frame_flash, "frame_flash"},
        {alignment_flash, "alignment_flash"},
        {drawingarea_flash, "drawingarea_flash"},
    });
    return window;
}

GtkWidget *create_window_format(void)
{
    GtkWidget *window = interface_new_settings_window(_("Sampling options"));
    GtkTooltips *tooltips = interface_new_tooltips(window);

    GtkWidget *table = gtk_table_new(4, 2, FALSE);
    gtk_widget_show(table);
    gtk_container_add(GTK_CONTAINER(window), table);
    gtk_container_set_border_width(GTK_CONTAINER(table), 8);

    GtkWidget *label_machine_type = interface_attach_row_label(table, _("Machine type: "), 0);
    GtkWidget *label_video_standard = interface_attach_row_label(table, _("Video standard: "), 1);

    GtkWidget *machine_type = gtk_combo_box_text_new_with_entry();
    gtk_widget_show(machine_type);
    gtk_table_attach(GTK_TABLE(table), machine_type, 1, 2, 0, 1, GTK_FILL, GTK_FILL, 0, 2);
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(machine_type), _("COMMODORE 64"));
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(machine_type), _("VIC 20"));
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(machine_type), _("C16/+4"));
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(machine_type), _("GENERIC"));

    GtkWidget *video_standard = gtk_combo_box_text_new_with_entry();
    gtk_widget_show(video_standard);
    gtk_table_attach(GTK_TABLE(table), video_standard, 1, 2, 1, 2, GTK_FILL, GTK_FILL, 0, 2);
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(video_standard), _("PAL"));
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(video_standard), _("NTSC"));

    GtkWidget *use_half_waves = gtk_check_button_new_with_mnemonic(_("Trigger on both edges"));
    gtk_widget_show(use_half_waves);
    gtk_table_attach(GTK_TABLE(table), use_half_waves, 0, 2, 2, 3, GTK_FILL, GtkAttachOptions(0), 0, 0);
    gtk_tooltips_set_tip(tooltips, use_half_waves, _("Sample each level independently"), nullptr);

    GtkWidget *use_rising_edge = gtk_check_button_new_with_mnemonic(_("Start on a rising edge"));
    gtk_widget_show(use_rising_edge);
    gtk_table_attach(GTK_TABLE(table), use_rising_edge, 0, 2, 3, 4, GTK_FILL, GtkAttachOptions(0), 0, 0);
    gtk_tooltips_set_tip(tooltips, use_rising_edge, _("The first active edge is a rising one"), nullptr);

    g_signal_connect(window, "delete_event", G_CALLBACK(on_window_format_delete_event), nullptr);
    g_signal_connect(use_half_waves, "toggled", G_CALLBACK(on_checkbutton_format_use_half_waves_toggled), nullptr);
    g_signal_connect(use_rising_edge, "toggled", G_CALLBACK(on_checkbutton_format_use_rising_edge_toggled),
                     nullptr);
    g_signal_connect(video_standard, "changed", G_CALLBACK(on_comboboxentry_format_video_standard_changed),
                     nullptr);
    g_signal_connect(machine_type, "changed", G_CALLBACK(on_comboboxentry_format_machine_type_changed), nullptr);
    // Typed text is taken, or put right, when the edit ends.
    for (GtkWidget *combo : {machine_type, video_standard}) {
        GtkWidget *entry = gtk_bin_get_child(GTK_BIN(combo));
        g_signal_connect_swapped(entry, "activate", G_CALLBACK(callbacks_format_settle_typed_text), window);
        g_signal_connect(entry, "focus_out_event", G_CALLBACK(on_format_entry_focus_out_event), nullptr);
    }
    g_signal_connect(window, "hide", G_CALLBACK(callbacks_format_settle_typed_text), nullptr);

    support_register_object_no_ref(window, window, "window_format");
    interface_register_widgets(window, {
        {table, "table_format_top_most"},
        {label_machine_type, "label_format_machine_type"},
        {label_video_standard, "label_format_video_standard"},
        {machine_type, "comboboxentry_format_machine_type"},
        {video_standard, "comboboxentry_format_video_standard"},
        {use_half_waves, "checkbutton_format_use_half_waves"},
        {use_rising_edge, "checkbutton_format_use_rising_edge"},
    });
    return window;
}

GtkWidget *create_window_connection_settings(void)
{
    GtkWidget *window = interface_new_settings_window(_("Connection settings"));
    GtkTooltips *tooltips = interface_new_tooltips(window);

    GtkWidget *vbox = gtk_vbox_new(FALSE, 6);
    gtk_widget_show(vbox);
    gtk_container_add(GTK_CONTAINER(window), vbox);
    gtk_container_set_border_width(GTK_CONTAINER(vbox), 6);

    GtkWidget *table = gtk_table_new(2, 2, FALSE);
    gtk_widget_show(table);
    gtk_box_pack_start(GTK_BOX(vbox), table, TRUE, TRUE, 0);
    gtk_table_set_row_spacings(GTK_TABLE(table), 2);

    GtkWidget *label_select = interface_attach_row_label(table, _("Device port: "), 0);

    GtkWidget *entry_device_port = gtk_entry_new();
    gtk_widget_show(entry_device_port);
    gtk_table_attach(GTK_TABLE(table), entry_device_port, 1, 2, 0, 1, GtkAttachOptions(GTK_EXPAND | GTK_FILL),
                     GtkAttachOptions(0), 0, 0);
    gtk_tooltips_set_tip(tooltips, entry_device_port, _("USB serial port to use"), nullptr);

    GtkWidget *label_bootloader_port = interface_attach_row_label(table, _("Bootloader port: "), 1);

    GtkWidget *entry_bootloader_port = gtk_entry_new();
    gtk_widget_show(entry_bootloader_port);
    gtk_table_attach(GTK_TABLE(table), entry_bootloader_port, 1, 2, 1, 2, GtkAttachOptions(GTK_EXPAND | GTK_FILL),
                     GtkAttachOptions(0), 0, 0);
    gtk_tooltips_set_tip(tooltips, entry_bootloader_port, _("USB serial port to use"), nullptr);

    // Both entries complete from one list of the ports present, filled each
    // time the window opens.
    GtkListStore *ports = gtk_list_store_new(PORT_COMPLETION_COLUMNS, G_TYPE_STRING, G_TYPE_STRING);
    GtkWidget *port_entries[] = {entry_device_port, entry_bootloader_port};
    for (GtkWidget *entry : port_entries) {
        GtkEntryCompletion *completion = callbacks_settings_new_port_completion(ports);
        gtk_entry_set_completion(GTK_ENTRY(entry), completion);
        g_object_unref(completion);
    }
    g_object_unref(ports);

    GtkWidget *button_ok = gtk_button_new();
    gtk_widget_show(button_ok);
    gtk_box_pack_start(GTK_BOX(vbox), button_ok, FALSE, FALSE, 0);

    GtkWidget *alignment_ok = gtk_alignment_new(0.5, 0.5, 0, 0);
    gtk_widget_show(alignment_ok);
    gtk_container_add(GTK_CONTAINER(button_ok), alignment_ok);

    GtkWidget *hbox_ok = gtk_hbox_new(FALSE, 2);
    gtk_widget_show(hbox_ok);
    gtk_container_add(GTK_CONTAINER(alignment_ok), hbox_ok);

    GtkWidget *image_ok = gtk_image_new_from_stock("gtk-ok", GTK_ICON_SIZE_BUTTON);
    gtk_widget_show(image_ok);
    gtk_box_pack_start(GTK_BOX(hbox_ok), image_ok, FALSE, FALSE, 0);

    GtkWidget *label_ok = gtk_label_new_with_mnemonic(_("OK"));
    gtk_widget_show(label_ok);
    gtk_box_pack_start(GTK_BOX(hbox_ok), label_ok, FALSE, FALSE, 0);

    g_signal_connect(window, "delete_event", G_CALLBACK(on_window_connection_settings_delete_event), nullptr);
    g_signal_connect(button_ok, "clicked", G_CALLBACK(on_button_connection_settings_ok_clicked), nullptr);

    support_register_object_no_ref(window, window, "window_connection_settings");
    interface_register_widgets(window, {
        {vbox, "vbox_connection_settings_top_most"},
        {table, "table_connection_settings_inputs"},
        {label_select, "label_connection_settings_select"},
        {entry_device_port, "entry_connection_settings_device_port"},
        {label_bootloader_port, "label_connection_settings_bootloader_port"},
        {entry_bootloader_port, "entry_connection_settings_bootloader_port"},
        {button_ok, "button_connection_settings_ok"},
        {alignment_ok, "alignment_connection_settings_ok"},
        {hbox_ok, "hbox_connection_settings_ok"},
        {image_ok, "image_connection_settings_ok"},
        {label_ok, "label_connection_settings_ok"},
    });

    gtk_widget_grab_focus(entry_device_port);
    return window;
}

GtkWidget *create_dialog_yes_no_confirmation(void)
{
    GtkWidget *dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), _("Confirmation request"));
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(dialog), GDK_WINDOW_TYPE_HINT_DIALOG);

    GtkWidget *vbox = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_widget_show(vbox);

    GtkWidget *label = gtk_label_new("");
    gtk_widget_show(label);
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, FALSE, 5);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);

    GtkWidget *action_area = gtk_dialog_get_action_area(GTK_DIALOG(dialog));
    gtk_widget_show(action_area);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(action_area), GTK_BUTTONBOX_SPREAD);

    GtkWidget *button_yes = interface_add_dialog_button(dialog, "gtk-yes", GTK_RESPONSE_YES);
    GtkWidget *button_no = interface_add_dialog_button(dialog, "gtk-no", GTK_RESPONSE_NO);

    support_register_object_no_ref(dialog, dialog, "dialog_yes_no_confirmation");
    support_register_object_no_ref(dialog, vbox, "vbox_yes_no_confirmation");
    support_register_widget(dialog, label, "label_yes_no_confirmation");
    support_register_object_no_ref(dialog, action_area, "hbuttonbox_yes_no_confirmation");
    support_register_widget(dialog, button_yes, "button_yes_no_confirmation_yes");
    support_register_widget(dialog, button_no, "button_yes_no_confirmation_no");
    return dialog;
}
