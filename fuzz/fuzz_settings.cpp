// The settings loader fed arbitrary files.
//
// Checks: loading never crashes and always leaves both settings holding a
// string; loading never rewrites the file; a file that cannot be read as a
// key file leaves the settings as they were; whatever was loaded comes back
// unchanged after a save and a second load (the file's escape rules).
#include "options.h"

#include "fuzz_check.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void fail(const char *what)
{
    fuzz_fail("settings", what);
}

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

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A private configuration folder, removed when the process ends.
    static std::string folder;
    gchar *made = g_dir_make_tmp("zr7k8-fuzz-settings-XXXXXX", nullptr);
    if (!made)
        fail("no temporary folder");
    folder = made;
    g_free(made);
    g_setenv("XDG_CONFIG_HOME", folder.c_str(), TRUE);
    options_module_init();
    atexit([] {
        g_remove(options_config_file_path());
        gchar *inner = g_path_get_dirname(options_config_file_path());
        g_rmdir(inner);
        g_free(inner);
        g_rmdir(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const gchar *path = options_config_file_path();
    check(path != nullptr, "the settings file has a path");
    // Settings that no file could give, to see what the load changes.
    set(&options_device_port_string, "before device");
    set(&options_bootloader_port_string, "before bootloader");
    check(g_file_set_contents(path, reinterpret_cast<const gchar *>(data), gssize(size), nullptr),
          "the test file is written");

    options_load_from_file();
    check(options_device_port_string != nullptr && options_bootloader_port_string != nullptr,
          "both settings hold a string after a load");
    const std::string device(options_device_port_string);
    const std::string bootloader(options_bootloader_port_string);
    GKeyFile *key_file = g_key_file_new();
    const bool loads = g_key_file_load_from_data(key_file, reinterpret_cast<const gchar *>(data), size,
                                                 G_KEY_FILE_KEEP_COMMENTS, nullptr);
    g_key_file_free(key_file);
    if (!loads)
        check(device == "before device" && bootloader == "before bootloader",
              "a file that is no key file leaves the settings as they were");

    // A file the loader rejects is left alone.
    gchar *after = nullptr;
    gsize after_size = 0;
    check(g_file_get_contents(path, &after, &after_size, nullptr), "the file is still there");
    check(after_size == size && memcmp(after, data, size) == 0, "loading never rewrites the file");
    g_free(after);

    // Whatever was loaded survives a save and a load unchanged.
    check(options_save_to_file(), "the settings are saved");
    set(&options_device_port_string, "changed");
    set(&options_bootloader_port_string, "changed");
    options_load_from_file();
    check(device == options_device_port_string, "the device port comes back unchanged");
    check(bootloader == options_bootloader_port_string, "the bootloader port comes back unchanged");
    return 0;
}
