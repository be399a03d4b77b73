#include "options.h"

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
// Names on disk, never passed through the message catalogue: a catalogue
// must not be able to move the file.
const char options_folder_name[] = "zr7k8-client";
const char options_file_name[] = "user.ini";

// Settings beyond the ports live in groups of their own, written only when
// they differ from their defaults, so a file that never used them keeps
// exactly the text it had.
const char options_tap_group[] = "tap";
const char options_key_write_image[] = "write_image";

gboolean options_write_tap_image = FALSE;

const char options_dump_group[] = "dump";
const char options_key_folder[] = "folder";

const char options_programs_group[] = "programs";

// File-name encoding; the key file holds UTF-8.
gchar *options_dump_folder = nullptr;
gchar *options_programs_folder = nullptr;

// A folder setting from the key file, in file-name encoding (null when absent).
void options_load_folder(GKeyFile *key_file, const char *group, gchar **setting)
{
    gchar *folder = g_key_file_get_string(key_file, group, options_key_folder, nullptr);
    gchar *local = folder ? g_filename_from_utf8(folder, -1, nullptr, nullptr, nullptr) : nullptr;
    g_free(*setting);
    *setting = local;
    g_free(folder);
}

void options_save_folder(GKeyFile *key_file, const char *group, const gchar *setting)
{
    gchar *folder = setting ? g_filename_to_utf8(setting, -1, nullptr, nullptr, nullptr) : nullptr;
    if (folder)
        g_key_file_set_string(key_file, group, options_key_folder, folder);
    g_free(folder);
}

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
    gchar *folder = g_build_filename(g_get_user_config_dir(), options_folder_name, nullptr);
    if (!g_file_test(folder, G_FILE_TEST_EXISTS) && g_mkdir(folder, 0700) != 0) {
        g_free(folder);
        folder = g_get_current_dir();
    }
    g_free(utf8_path_configfile);
    utf8_path_configfile = g_build_filename(folder, options_file_name, nullptr);
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
        options_set_dump_folder(nullptr);
        options_set_programs_folder(nullptr);
        options_save_to_file();
        return;
    }

    // Only a regular file is read: a folder or a pipe under the name counts
    // as a file that cannot be loaded (and a pipe would block the reading).
    gchar *text = nullptr;
    gsize length = 0;
    if (g_file_test(utf8_path_configfile, G_FILE_TEST_IS_REGULAR) &&
        g_file_get_contents(utf8_path_configfile, &text, &length, nullptr))
        options_load_from_data(text, length);
    g_free(text);
}

gboolean options_load_from_data(const gchar *text, gsize length)
{
    GKeyFile *key_file = g_key_file_new();
    const gboolean loaded = g_key_file_load_from_data(key_file, text, length, G_KEY_FILE_KEEP_COMMENTS, nullptr);
    if (loaded) {
        options_load_key(key_file, options_key_device_port, &options_device_port_string,
                         options_default_device_port);
        options_load_key(key_file, options_key_bootloader_port, &options_bootloader_port_string,
                         options_default_bootloader_port);
        GError *error = nullptr;
        gboolean write_image = g_key_file_get_boolean(key_file, options_tap_group, options_key_write_image, &error);
        options_write_tap_image = error ? FALSE : write_image;
        g_clear_error(&error);
        options_load_folder(key_file, options_dump_group, &options_dump_folder);
        options_load_folder(key_file, options_programs_group, &options_programs_folder);
    }
    g_key_file_free(key_file);
    return loaded;
}

gchar *options_save_to_data(gsize *length)
{
    if (!options_device_port_string || !options_bootloader_port_string)
        return nullptr;

    // The comment and the group come from parsed text so that the file keeps
    // its familiar layout; the values go in through the escaping setter so
    // that any string survives a load.
    gchar *skeleton = g_strdup_printf("%s\n[%s]\n", options_comment, options_group);
    GKeyFile *key_file = g_key_file_new();
    gchar *text = nullptr;
    if (g_key_file_load_from_data(key_file, skeleton, -1, G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
        g_key_file_set_string(key_file, options_group, options_key_device_port, options_device_port_string);
        g_key_file_set_string(key_file, options_group, options_key_bootloader_port,
                              options_bootloader_port_string);
        if (options_write_tap_image)
            g_key_file_set_boolean(key_file, options_tap_group, options_key_write_image, TRUE);
        options_save_folder(key_file, options_dump_group, options_dump_folder);
        options_save_folder(key_file, options_programs_group, options_programs_folder);
        text = g_key_file_to_data(key_file, length, nullptr);
    }
    g_key_file_free(key_file);
    g_free(skeleton);
    return text;
}

gboolean options_save_to_file(void)
{
    if (!utf8_path_configfile)
        return FALSE;
    gsize length = 0;
    gchar *text = options_save_to_data(&length);
    const gboolean written =
        text && g_file_set_contents(utf8_path_configfile, text, static_cast<gssize>(length), nullptr);
    g_free(text);
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

const gchar *options_get_dump_folder(void)
{
    return options_dump_folder;
}

void options_set_dump_folder(const gchar *folder)
{
    gchar *copy = g_strdup(folder);
    g_free(options_dump_folder);
    options_dump_folder = copy;
}

const gchar *options_get_programs_folder(void)
{
    return options_programs_folder;
}

void options_set_programs_folder(const gchar *folder)
{
    gchar *copy = g_strdup(folder);
    g_free(options_programs_folder);
    options_programs_folder = copy;
}

const gchar *options_config_file_path(void)
{
    return utf8_path_configfile;
}
