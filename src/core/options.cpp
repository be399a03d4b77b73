#include "options.h"

#include "translate.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The folders' groups, by options_folder_use; each holds one key.
const char *const options_folder_groups[options_folder_uses] = {"dump", "programs", "open_tape", "rescue",
                                                                 "clean_tap"};
const char options_key_folder[] = "folder";

// File-name encoding; the key file holds UTF-8.
gchar *options_folders[options_folder_uses];

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

// A settings file is a few lines: anything larger is not read (a huge file
// under the name would take the memory and the time of reading it whole).
const gsize options_largest_file = 1024 * 1024;
const unsigned char options_byte_order_mark[] = {0xEF, 0xBB, 0xBF};
// Symbolic links followed to the settings file's own file, as the system
// follows them.
const int options_most_links = 40;

// Why the file in place could not be read as settings (an English constant),
// or null. Such a file is never written over: it may hold the user's real
// settings in a form this program does not read.
const char *options_problem = nullptr;
// Commands that only read the settings write nothing.
gboolean options_read_only = FALSE;

void options_replace(gchar **setting, const gchar *value)
{
    gchar *copy = g_strdup(value);
    g_free(*setting);
    *setting = copy;
}

// Reads one key into its setting: the default when the key (or the group) is
// missing, the setting unchanged when the value is not a readable string.
// Returns FALSE in that last case.
gboolean options_load_key(GKeyFile *key_file, const char *key, gchar **setting, const char *fallback)
{
    if (!g_key_file_has_key(key_file, options_group, key, nullptr)) {
        options_replace(setting, fallback);
        return TRUE;
    }
    gchar *value = g_key_file_get_string(key_file, options_group, key, nullptr);
    if (!value)
        return FALSE;
    g_free(*setting);
    *setting = value;
    return TRUE;
}

// Reads at most options_largest_file bytes of a regular file. Returns the
// text (g_free) and its length, or null with the reason in *problem.
gchar *options_read_text(const char *path, gsize *length, const char **problem)
{
    // Not blocking on a pipe under the name; it is refused below.
    const int fd = g_open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *problem = fd < 0 ? N_("it cannot be opened") : N_("it is not a regular file");
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    gchar *text = static_cast<gchar *>(g_malloc(options_largest_file + 1));
    gsize held = 0;
    for (;;) {
        const ssize_t got = read(fd, text + held, options_largest_file + 1 - held);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || (held += gsize(got)) > options_largest_file)
            break;
    }
    close(fd);
    *problem = held > options_largest_file ? N_("it is larger than 1 MB") : nullptr;
    if (*problem) {
        g_free(text);
        return nullptr;
    }
    *length = held;
    return text;
}

// Where writing to path lands: the file at the end of its symbolic links
// (which need not exist yet). Returns a new string.
gchar *options_link_target(const char *path)
{
    gchar *current = g_strdup(path);
    for (int links = 0; links < options_most_links; ++links) {
        gchar *target = g_file_read_link(current, nullptr);
        if (!target)
            break;
        if (!g_path_is_absolute(target)) {
            gchar *folder = g_path_get_dirname(current);
            gchar *joined = g_build_filename(folder, target, nullptr);
            g_free(folder);
            g_free(target);
            target = joined;
        }
        g_free(current);
        current = target;
    }
    return current;
}

// Loads the text; *problem says what made it unreadable as settings.
gboolean options_load_text(const gchar *text, gsize length, const char **problem)
{
    // A byte-order mark is what some editors put at the start of UTF-8 text.
    if (length >= sizeof options_byte_order_mark &&
        memcmp(text, options_byte_order_mark, sizeof options_byte_order_mark) == 0) {
        text += sizeof options_byte_order_mark;
        length -= sizeof options_byte_order_mark;
    }
    *problem = nullptr;
    GKeyFile *key_file = g_key_file_new();
    const gboolean loaded = g_key_file_load_from_data(key_file, text, length, G_KEY_FILE_KEEP_COMMENTS, nullptr);
    if (!loaded) {
        *problem = N_("it is not a settings file");
    } else {
        const gboolean device_read = options_load_key(key_file, options_key_device_port, &options_device_port_string,
                                                      options_default_device_port);
        const gboolean bootloader_read =
            options_load_key(key_file, options_key_bootloader_port, &options_bootloader_port_string,
                             options_default_bootloader_port);
        GError *error = nullptr;
        gboolean write_image = g_key_file_get_boolean(key_file, options_tap_group, options_key_write_image, &error);
        options_write_tap_image = error ? FALSE : write_image;
        const gboolean image_read = !error || g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_KEY_NOT_FOUND) ||
                                    g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_GROUP_NOT_FOUND);
        g_clear_error(&error);
        for (int use = 0; use < options_folder_uses; ++use)
            options_load_folder(key_file, options_folder_groups[use], &options_folders[use]);
        if (!device_read || !bootloader_read || !image_read)
            *problem = N_("a value in it cannot be read");
    }
    g_key_file_free(key_file);
    return loaded;
}

}  // namespace

// Works out the path and loads. The settings folder is made (with its
// parents) only when the file may be written: the working folder is never
// used instead, and a configuration folder given as a relative path counts
// as none, since it would be the working folder in disguise.
static void options_start(gboolean read_only)
{
    options_read_only = read_only;
    g_free(utf8_path_configfile);
    utf8_path_configfile = nullptr;
    const gchar *config = g_get_user_config_dir();
    if (g_path_is_absolute(config)) {
        gchar *folder = g_build_filename(config, options_folder_name, nullptr);
        if (!read_only)
            g_mkdir_with_parents(folder, 0700);
        utf8_path_configfile = g_build_filename(folder, options_file_name, nullptr);
        g_free(folder);
    }

    // The settings must always hold strings, also when the file turns out to
    // be unreadable.
    options_replace(&options_device_port_string, options_default_device_port);
    options_replace(&options_bootloader_port_string, options_default_bootloader_port);
    options_load_from_file();
}

void options_module_init(void)
{
    options_start(FALSE);
}

void options_module_init_read_only(void)
{
    options_start(TRUE);
}

void options_load_from_file(void)
{
    options_problem = nullptr;
    if (!utf8_path_configfile || !g_file_test(utf8_path_configfile, G_FILE_TEST_EXISTS)) {
        options_replace(&options_device_port_string, options_default_device_port);
        options_replace(&options_bootloader_port_string, options_default_bootloader_port);
        options_write_tap_image = FALSE;
        for (int use = 0; use < options_folder_uses; ++use)
            options_set_folder(options_folder_use(use), nullptr);
        options_save_to_file();
        return;
    }

    gsize length = 0;
    gchar *text = options_read_text(utf8_path_configfile, &length, &options_problem);
    if (text)
        options_load_text(text, length, &options_problem);
    g_free(text);
}

gboolean options_load_from_data(const gchar *text, gsize length)
{
    const char *problem = nullptr;
    return options_load_text(text, length, &problem);
}

const char *options_load_problem(void)
{
    return options_problem;
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
        for (int use = 0; use < options_folder_uses; ++use)
            options_save_folder(key_file, options_folder_groups[use], options_folders[use]);
        text = g_key_file_to_data(key_file, length, nullptr);
    }
    g_key_file_free(key_file);
    g_free(skeleton);
    return text;
}

gboolean options_save_to_file(void)
{
    if (!utf8_path_configfile || options_read_only || options_problem)
        return FALSE;
    // The file itself is replaced, not a symbolic link to it, and keeps its
    // mode; a file without write permission is left alone.
    gchar *target = options_link_target(utf8_path_configfile);
    struct stat status {};
    const gboolean exists = stat(target, &status) == 0;
    const mode_t mode = exists ? status.st_mode & 07777 : 0666;
    gboolean written = FALSE;
    if (!exists || (access(target, W_OK) == 0 && (status.st_mode & S_IWUSR))) {
        gsize length = 0;
        gchar *text = options_save_to_data(&length);
        // The new file is made with the mode less the umask: never more open
        // than the old one, and then given its mode exactly.
        written = text &&
                  g_file_set_contents_full(target, text, static_cast<gssize>(length),
                                           G_FILE_SET_CONTENTS_CONSISTENT, int(mode), nullptr) &&
                  (!exists || g_chmod(target, mode) == 0);
        g_free(text);
    }
    g_free(target);
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

const gchar *options_get_folder(options_folder_use use)
{
    return options_folders[use];
}

void options_set_folder(options_folder_use use, const gchar *folder)
{
    gchar *copy = g_strdup(folder);
    g_free(options_folders[use]);
    options_folders[use] = copy;
}

const gchar *options_get_dump_folder(void)
{
    return options_get_folder(options_folder_dump);
}

void options_set_dump_folder(const gchar *folder)
{
    options_set_folder(options_folder_dump, folder);
}

const gchar *options_get_programs_folder(void)
{
    return options_get_folder(options_folder_programs);
}

void options_set_programs_folder(const gchar *folder)
{
    options_set_folder(options_folder_programs, folder);
}

const gchar *options_config_file_path(void)
{
    return utf8_path_configfile;
}
