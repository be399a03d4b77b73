#include "options.h"

#include "translate.h"

#include <glib/gstdio.h>

gchar *options_device_port_string = nullptr;
gchar *options_bootloader_port_string = nullptr;

namespace {

const char options_comment[] = "# ZR7K8 USB serial client config file - do NOT edit";
const char options_group[] = "connection";
const char options_key_device_port[] = "device_port";
const char options_key_bootloader_port[] = "bootloader_port";
const char options_default_device_port[] = "COM3";
const char options_default_bootloader_port[] = "COM4";

// Settings beyond the ports live in groups of their own, written only when
// they differ from their defaults, so a file that never used them keeps
// exactly the text it had.
const char options_tap_group[] = "tap";
const char options_key_write_image[] = "write_image";

gboolean options_write_tap_image = FALSE;

gchar *utf8_path_configfile = nullptr;

void options_replace(gchar **setting, const gchar *value)
{
    gchar *copy = g_strdup(value);
    g_free(*setting);
    *setting = copy;
}

// Reads one key into its setting: the default when the key (or the group) is
// missing, the setting unchanged when the value is not a readable string.
void options_load_key(GKeyFile *key_file, const char *key, gchar **setting, const char *fallback)
{
    if (!g_key_file_has_key(key_file, options_group, key, nullptr)) {
        options_replace(setting, fallback);
        return;
    }
    gchar *value = g_key_file_get_string(key_file, options_group, key, nullptr);
    if (value) {
        g_free(*setting);
        *setting = value;
    }
}

}  // namespace

void options_module_init(void)
{
    gchar *folder = g_build_filename(g_get_user_config_dir(), _("zr7k8-client"), nullptr);
    if (!g_file_test(folder, G_FILE_TEST_EXISTS) && g_mkdir(folder, 0700) != 0) {
        g_free(folder);
        folder = g_get_current_dir();
    }
    g_free(utf8_path_configfile);
    utf8_path_configfile = g_build_filename(folder, _("user.ini"), nullptr);
    g_free(folder);

    // The settings must always hold strings, also when the file turns out to
    // be unreadable.
    options_replace(&options_device_port_string, options_default_device_port);
    options_replace(&options_bootloader_port_string, options_default_bootloader_port);
    options_load_from_file();
}

void options_load_from_file(void)
{
    if (!g_file_test(utf8_path_configfile, G_FILE_TEST_EXISTS)) {
        options_replace(&options_device_port_string, options_default_device_port);
        options_replace(&options_bootloader_port_string, options_default_bootloader_port);
        options_write_tap_image = FALSE;
        options_save_to_file();
        return;
    }

    GKeyFile *key_file = g_key_file_new();
    if (g_key_file_load_from_file(key_file, utf8_path_configfile, G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
        options_load_key(key_file, options_key_device_port, &options_device_port_string,
                         options_default_device_port);
        options_load_key(key_file, options_key_bootloader_port, &options_bootloader_port_string,
                         options_default_bootloader_port);
        GError *error = nullptr;
        gboolean write_image = g_key_file_get_boolean(key_file, options_tap_group, options_key_write_image, &error);
        options_write_tap_image = error ? FALSE : write_image;
        g_clear_error(&error);
    }
    g_key_file_free(key_file);
}

gboolean options_save_to_file(void)
{
    if (!utf8_path_configfile || !options_device_port_string || !options_bootloader_port_string)
        return FALSE;

    // The comment and the group come from parsed text so that the file keeps
    // its familiar layout; the values go in through the escaping setter so
    // that any string survives a load.
    gchar *skeleton = g_strdup_printf("%s\n[%s]\n", options_comment, options_group);
    GKeyFile *key_file = g_key_file_new();
    gboolean written = FALSE;
    if (g_key_file_load_from_data(key_file, skeleton, -1, G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
        g_key_file_set_string(key_file, options_group, options_key_device_port, options_device_port_string);
        g_key_file_set_string(key_file, options_group, options_key_bootloader_port,
                              options_bootloader_port_string);
        if (options_write_tap_image)
            g_key_file_set_boolean(key_file, options_tap_group, options_key_write_image, TRUE);
        written = g_key_file_save_to_file(key_file, utf8_path_configfile, nullptr);
    }
    g_key_file_free(key_file);
    g_free(skeleton);
    return written;
}

gboolean options_get_write_tap_image(void)
{
    return options_write_tap_image;
}

void options_set_write_tap_image(gboolean write_image)
{
    options_write_tap_image = write_image ? TRUE : FALSE;
}

const gchar *options_config_file_path(void)
{
    return utf8_path_configfile;
}
