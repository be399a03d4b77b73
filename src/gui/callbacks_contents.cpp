#include "callbacks_contents.h"

#include "callbacks_clean_tap.h"
#include "callbacks_health.h"
#include "callbacks_programs.h"
#include "common_petscii.h"
#include "main.h"
#include "tape/loader_table.h"
#include "tape/petscii.h"
#include "support.h"
#include "tape/tape_index.h"
#include "tape/tape_time.h"
#include "tape/tape_unread.h"
#include "translate.h"

#include <cstring>
#include <initializer_list>

namespace {

enum {
    COLUMN_SEQUENCE,  // the record's sequence number, to find its row again
    COLUMN_POSITION,
    COLUMN_LOADER,
    COLUMN_NAME,
    COLUMN_VERDICT,
    COLUMN_VERDICT_ICON,  // stock id, or null while there is nothing to mark
    COLUMN_TOOLTIP,       // the tape health of the file's pilot, what a rescue did, or an unread stretch (markup), or null
    COLUMNS
};

GtkTreeView *contents_view(void)
{
    return GTK_TREE_VIEW(lookup_widget(window_main, "treeview_main_tape_contents"));
}

GtkListStore *contents_store(void)
{
    return GTK_LIST_STORE(gtk_tree_view_get_model(contents_view()));
}

const char *verdict_icon(tape_verdict verdict)
{
    switch (verdict) {
    case tape_verdict_good:
        return GTK_STOCK_OK;
    case tape_verdict_repaired:
        return GTK_STOCK_DIALOG_WARNING;
    case tape_verdict_bad:
        return GTK_STOCK_DIALOG_ERROR;
    case tape_verdict_cut_short:
        return GTK_STOCK_MEDIA_STOP;
    case tape_verdict_rescued:
        return GTK_STOCK_COPY;
    default:
        return nullptr;
    }
}

// Room a column takes besides its text: the cell's padding, the focus line
// and the space between columns.
const gint column_padding = 10;

gint text_width(GtkWidget *widget, const char *text)
{
    PangoLayout *layout = gtk_widget_create_pango_layout(widget, text);
    gint width = 0;
    pango_layout_get_pixel_size(layout, &width, nullptr);
    g_object_unref(layout);
    return width;
}

// The width of the widest of the texts (translated where marked).
gint widest(GtkWidget *widget, std::initializer_list<const char *> texts)
{
    gint width = 0;
    for (const char *text : texts)
        width = MAX(width, text_width(widget, text));
    return width + column_padding;
}

void append_text_column(GtkTreeView *view, const char *title, int column, float xalign)
{
    GtkCellRenderer *renderer = gtk_cell_renderer_text_new();
    g_object_set(renderer, "xalign", xalign, nullptr);
    GtkTreeViewColumn *tree_column =
        gtk_tree_view_column_new_with_attributes(title, renderer, "text", column, nullptr);
    gtk_tree_view_column_set_resizable(tree_column, TRUE);
    gtk_tree_view_append_column(view, tree_column);
}

// Sets every cell of the row from the record.
void show_record(GtkListStore *store, GtkTreeIter *row, const tape_file_event *record)
{
    gchar *position = tape_time_text(record->tick);
    gchar *health = record->verdict == tape_verdict_rescued
                        ? g_strdup(_("No take read this file alone: the takes together gave it back"))
                        : callbacks_health_text(&record->health);
    gchar *tooltip = health[0] ? g_markup_escape_text(health, -1) : nullptr;
    const std::string shown = petscii_printable_field(record->name);
    gtk_list_store_set(store, row, COLUMN_SEQUENCE, record->sequence, COLUMN_POSITION, position, COLUMN_LOADER,
                       _(tape_loader_text(record->loader)), COLUMN_NAME, shown.c_str(), COLUMN_VERDICT,
                       _(tape_verdict_text(record->verdict)), COLUMN_VERDICT_ICON, verdict_icon(record->verdict),
                       COLUMN_TOOLTIP, tooltip, -1);
    g_free(position);
    g_free(health);
    g_free(tooltip);
}

// The row of the record's file, if listed. Files' rows are added in the
// order of the sequence numbers, which count from 1, with the rows of
// unread stretches (sequence 0) between them: the file's row can be no
// earlier than the sequence number's place, and lies that many unread rows
// further on.
bool find_row(GtkListStore *store, guint sequence, GtkTreeIter *row)
{
    GtkTreeModel *model = GTK_TREE_MODEL(store);
    for (gboolean more = gtk_tree_model_iter_nth_child(model, row, nullptr, gint(sequence) - 1); more;
         more = gtk_tree_model_iter_next(model, row)) {
        guint listed = 0;
        gtk_tree_model_get(model, row, COLUMN_SEQUENCE, &listed, -1);
        if (listed == sequence)
            return true;
        if (listed > sequence)
            return false;
    }
    return false;
}

// Appends a row and keeps it in sight: a long tape's newest row stays there.
void append_row(GtkListStore *store, GtkTreeIter *row)
{
    gtk_list_store_append(store, row);
    GtkTreePath *path = gtk_tree_model_get_path(GTK_TREE_MODEL(store), row);
    gtk_tree_view_scroll_to_cell(contents_view(), path, nullptr, FALSE, 0, 0);
    gtk_tree_path_free(path);
}

}  // namespace

void callbacks_contents_set_up_view(GtkScrolledWindow *scrolled_window, GtkTreeView *view)
{
    GtkListStore *store = gtk_list_store_new(COLUMNS, G_TYPE_UINT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                             G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
    gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
    g_object_unref(store);

    append_text_column(view, _("Position"), COLUMN_POSITION, 1.0);
    append_text_column(view, _("Loader"), COLUMN_LOADER, 0.0);
    append_text_column(view, _("Name"), COLUMN_NAME, 0.0);

    // The verdict with its mark; rows without one keep the mark's room, so
    // the words stay in line.
    GtkTreeViewColumn *verdict = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(verdict, _("Check"));
    GtkCellRenderer *icon = gtk_cell_renderer_pixbuf_new();
    g_object_set(icon, "stock-size", GTK_ICON_SIZE_MENU, nullptr);
    gint icon_width = 16;
    gint icon_height = 16;
    gtk_icon_size_lookup(GTK_ICON_SIZE_MENU, &icon_width, &icon_height);
    guint xpad = 0;
    g_object_get(icon, "xpad", &xpad, nullptr);
    icon_width += 2 * gint(xpad);
    gtk_cell_renderer_set_fixed_size(icon, icon_width, -1);
    gtk_tree_view_column_pack_start(verdict, icon, FALSE);
    gtk_tree_view_column_add_attribute(verdict, icon, "stock-id", COLUMN_VERDICT_ICON);
    GtkCellRenderer *text = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(verdict, text, TRUE);
    gtk_tree_view_column_add_attribute(verdict, text, "text", COLUMN_VERDICT);
    gtk_tree_view_append_column(view, verdict);

    gtk_tree_view_set_rules_hint(view, TRUE);
    gtk_tree_view_set_search_column(view, COLUMN_NAME);
    gtk_tree_view_set_tooltip_column(view, COLUMN_TOOLTIP);

    // A row as wide as most: a long position, the longest loader and verdict
    // in this language, and a name of eleven wide letters (as wide as most
    // names of sixteen characters, which mix narrow letters and spaces).
    GtkWidget *widget = GTK_WIDGET(view);
    gtk_widget_ensure_style(widget);
    gint loader_width = widest(widget, {_("Loader")});
    for (unsigned loader = 0; loader < tape_loader_count; ++loader)
        loader_width = MAX(loader_width, widest(widget, {_(tape_loader_text(tape_loader(loader)))}));
    const gint row_width =
        widest(widget, {_("Position"), "88:88"}) + loader_width +
        widest(widget, {_("Name"), "NNNNNNNNNNN"}) + icon_width +
        widest(widget, {_("Check"), _(tape_verdict_text(tape_verdict_reading)),
                        _(tape_verdict_text(tape_verdict_repaired)), _(tape_verdict_text(tape_verdict_not_checked)),
                        _(tape_verdict_text(tape_verdict_cut_short)), _(tape_verdict_text(tape_verdict_rescued))});
    GtkRequisition scrollbar;
    gtk_widget_size_request(gtk_scrolled_window_get_vscrollbar(scrolled_window), &scrollbar);
    gtk_widget_ensure_style(GTK_WIDGET(scrolled_window));
    const gint frame = 2 * gtk_widget_get_style(GTK_WIDGET(scrolled_window))->xthickness;
    gtk_widget_set_size_request(GTK_WIDGET(scrolled_window), row_width + scrollbar.width + frame, -1);
}

void callbacks_contents_clear(void)
{
    gtk_list_store_clear(contents_store());
    callbacks_programs_clear();
    callbacks_clean_tap_forget();
}

bool callbacks_contents_sequence_at(GtkTreePath *path, guint *sequence)
{
    GtkTreeIter row;
    if (!gtk_tree_model_get_iter(GTK_TREE_MODEL(contents_store()), &row, path))
        return false;
    gtk_tree_model_get(GTK_TREE_MODEL(contents_store()), &row, COLUMN_SEQUENCE, sequence, -1);
    return true;
}

bool callbacks_contents_selected(guint *sequence)
{
    GtkTreeModel *model = nullptr;
    GtkTreeIter row;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(contents_view()), &model, &row))
        return false;
    gtk_tree_model_get(model, &row, COLUMN_SEQUENCE, sequence, -1);
    return true;
}

gboolean idle_show_tape_file(gpointer data)
{
    callbacks_contents_show(static_cast<const tape_file_event *>(data));
    g_free(data);
    return FALSE;
}

gboolean idle_show_captured_tape_file(gpointer data)
{
    const auto *record = static_cast<const tape_file_event *>(data);
    // The name decoders' loaders have their names shown by the decoders.
    if (callbacks_contents_show(record) && !tape_loader_has_name_decoder(record->loader)) {
        unsigned char name[17];
        std::memcpy(name, record->name, sizeof name);
        common_print_petscii_filename(name);
    }
    g_free(data);
    return FALSE;
}

bool callbacks_contents_show(const tape_file_event *record)
{
    GtkListStore *store = contents_store();
    GtkTreeIter row;
    const bool added = !find_row(store, record->sequence, &row);
    if (added)
        append_row(store, &row);
    show_record(store, &row, record);
    callbacks_programs_keep(record);
    return added;
}

gboolean idle_show_unread_stretch(gpointer data)
{
    const auto *stretch = static_cast<const tape_unread_stretch *>(data);
    GtkListStore *store = contents_store();
    GtkTreeIter row;
    append_row(store, &row);
    gchar *position = tape_time_text(stretch->tick);
    gchar *length = tape_time_text(stretch->ticks);
    gchar *text = g_strdup_printf(_("%s of pulses in no format read here"), length);
    // In the last column, where a long text widens no column that holds the
    // files' verdicts; whole in the tooltip.
    gchar *tooltip = g_markup_escape_text(text, -1);
    gtk_list_store_set(store, &row, COLUMN_SEQUENCE, 0u, COLUMN_POSITION, position, COLUMN_LOADER, _("unread"),
                       COLUMN_VERDICT, text, COLUMN_VERDICT_ICON, GTK_STOCK_DIALOG_QUESTION, COLUMN_TOOLTIP, tooltip,
                       -1);
    g_free(tooltip);
    g_free(text);
    g_free(length);
    g_free(position);
    g_free(data);
    return FALSE;
}
