// The program's translations: the text domain "zr7k8-client", where its
// catalogues come from, and the lookup of every user-visible text.
//
// Catalogues are read only from the program's own catalogue folder, an
// absolute path found from where the program file lies; never from a folder
// relative to the working directory, which a firmware update requires to
// hold files the user brought along. File and folder names never pass
// through the catalogue.
//
// Typical use, once at start-up before GTK+ takes its locale:
//
//   translate_bind_beside_program();
//   ...
//   gtk_label_set_text(label, _("Preview"));
//   gchar *text = g_strdup_printf(_(" Operation failed: %s"), reason);
#pragma once

#include <glib.h>

#define ZR7K8_TEXT_DOMAIN "zr7k8-client"

// The translation of `text` in the text domain, or `text` itself when there
// is none. A translation whose printf conversions differ from those of
// `text` (in number, order or kind), or that carries %n or a positional
// argument, is not used: the English text comes back instead, so a wrong
// catalogue can never make a format read arguments that are not there or
// write anywhere. Literal "%%" may differ. Any thread.
const char *translate_text(const char *text) G_GNUC_FORMAT(1);

// The same for a text with a count: `singular` or `plural` as the catalogue's
// rule for `count` has it (English: singular for 1), checked against the
// English text of the same form. Any thread.
const char *translate_plural(const char *singular, const char *plural, unsigned long count) G_GNUC_FORMAT(1)
    G_GNUC_FORMAT(2);

#define _(text) translate_text(text)
#define P_(singular, plural, count) translate_plural(singular, plural, count)
// Marks a text for translation where it must stay a constant (worker texts,
// which reach the status bar in English).
#define N_(text) (text)

// The catalogue folder of the program whose file is `executable` (an
// absolute path, symbolic links already resolved): for a program inside the
// build tree, the build's own catalogue folder (where msgfmt puts the
// compiled catalogues); otherwise the catalogue folder that the install puts
// beside the program's bin folder (../share/locale for the usual layout), so
// an install into any prefix, and the Debian package, find their own.
// Returns a new absolute path (g_free), or null when `executable` is not
// absolute.
gchar *translate_catalogue_folder_of(const char *executable);

// Binds the text domain to `folder`, sets its output codeset to UTF-8 and
// makes it the default domain. A folder that is not absolute is refused:
// returns false and binds nothing.
bool translate_bind(const char *folder);

// translate_bind with the catalogue folder of the running program, found
// from /proc/self/exe. When that cannot be read, the folder the install
// puts the catalogues in, fixed at build time. Returns translate_bind's
// result.
bool translate_bind_beside_program();
