// The one gettext wrapper of the program.
//
// Every user-visible text is looked up in the text domain "zr7k8-client"
// through dgettext, so the lookup does not depend on which domain happens to
// be the process default. Without a catalogue the English text comes back.
#pragma once

#include <libintl.h>

#define ZR7K8_TEXT_DOMAIN "zr7k8-client"

#define _(text) dgettext(ZR7K8_TEXT_DOMAIN, text)
// Marks a text for translation where it must stay a constant (worker reasons).
#define N_(text) (text)
