#include "support.h"

GtkWidget *lookup_widget(GtkWidget *widget, const gchar *widget_name)
{
    GtkWidget *toplevel = widget;
    for (;;) {
        GtkWidget *parent = GTK_IS_MENU(toplevel) ? gtk_menu_get_attach_widget(GTK_MENU(toplevel))
                                                  : gtk_widget_get_parent(toplevel);
        if (!parent)
            parent = static_cast<GtkWidget *>(g_object_get_data(G_OBJECT(toplevel), "GladeParentKey"));
        if (!parent)
            break;
        toplevel = parent;
    }

    auto *found = static_cast<GtkWidget *>(g_object_get_data(G_OBJECT(toplevel), widget_name));
    if (!found)
        g_warning("Widget not found: %s", widget_name);
    return found;
}

void support_register_widget(GtkWidget *toplevel, GtkWidget *widget, const gchar *name)
{
    g_object_set_data_full(G_OBJECT(toplevel), name, g_object_ref(widget), g_object_unref);
}

void support_register_object_no_ref(GtkWidget *toplevel, gpointer object, const gchar *name)
{
    g_object_set_data(G_OBJECT(toplevel), name, object);
}
