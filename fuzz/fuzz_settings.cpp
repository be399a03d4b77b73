// The settings loader fed arbitrary file texts, in memory: the file's own
// load reads the file and hands its text to the same function.
//
// Checks: loading never crashes and always leaves both settings holding a
// string; a text that cannot be read as a key file leaves the settings as
// they were; whatever was loaded comes back unchanged after a save and a
// second load (the file's escape rules).
#include "options.h"

#include "fuzz_check.h"

#include <glib.h>

#include <cstdlib>
#include <string>

namespace {

void check(bool holds, const char *what)
{
    fuzz_check(holds, "settings", what);
}

void set(gchar **setting, const char *value)
{
    g_free(*setting);
    *setting = g_strdup(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Settings that no file could give, to see what the load changes.
    set(&options_device_port_string, "before device");
    set(&options_bootloader_port_string, "before bootloader");

    const gchar *text = reinterpret_cast<const gchar *>(data);
    const gboolean loaded = options_load_from_data(text, size);
    check(options_device_port_string != nullptr && options_bootloader_port_string != nullptr,
          "both settings hold a string after a load");
    const std::string device(options_device_port_string);
    const std::string bootloader(options_bootloader_port_string);
    if (!loaded)
        check(device == "before device" && bootloader == "before bootloader",
              "a text that is no key file leaves the settings as they were");

    // Whatever was loaded survives a save and a load unchanged.
    gsize saved_length = 0;
    gchar *saved = options_save_to_data(&saved_length);
    check(saved != nullptr, "the settings are saved");
    set(&options_device_port_string, "changed");
    set(&options_bootloader_port_string, "changed");
    check(options_load_from_data(saved, saved_length), "a saved text loads");
    g_free(saved);
    check(device == options_device_port_string, "the device port comes back unchanged");
    check(bootloader == options_bootloader_port_string, "the bootloader port comes back unchanged");
    return 0;
}
