// The two port settings, the choice to leave TAP images beside dumps, and
// the settings file that keeps them.
//
// The file is "user.ini" in the folder "zr7k8-client" of the user's
// configuration folder (g_get_user_config_dir), a GLib key file:
//
//   # ZR7K8 USB serial client config file - do NOT edit
//
//   [connection]
//   device_port=COM3
//   bootloader_port=COM4
//
//   [tap]
//   write_image=true
//
//   [dump]
//   folder=/home/user/tapes
//
//   [programs]
//   folder=/home/user/programs
//
//   [open_tape]
//   folder=/home/user/tapes
//
// The "[tap]" group is written only while dumps are to leave TAP images too,
// a folder's group ("[dump]", "[programs]", "[open_tape]", "[rescue]",
// "[clean_tap]") only once its file chooser confirmed a choice; a file without
// them loads as before. Values are written with the key-file
// escape rules, so every string comes back unchanged from a save and a load
// (leading spaces, backslashes, line breaks); plain values look exactly as
// above.
//
// A file that is there but cannot be read as settings (not a regular file,
// over 1 MB, not a key file, a value that is not UTF-8 text) is never written
// over: it may hold the user's real settings in a form this program does not
// read. A byte-order mark at its start is accepted. Saving replaces the file
// at the end of any symbolic links (never a link itself), keeps its mode, and
// leaves a file without write permission alone.
//
// Everything here runs on the interface thread. Workers read the two strings
// in place while they run; the strings are only replaced while no worker runs.
#pragma once

#include <glib.h>

// The device port (console) and the bootloader port. Heap strings owned by
// this module; whoever replaces one frees the old string (g_free) and stores a
// g_strdup copy. After options_module_init both always hold a string, which
// may be empty. Null before it.
extern gchar *options_device_port_string;
extern gchar *options_bootloader_port_string;

// Works out the settings file path, creating the folder and any missing
// parents (mode 0700) when it is missing. The file is never looked for
// elsewhere: without a usable configuration folder (none can be made, or it
// is given as a relative path) there is no settings file, and saves fail.
// Then sets the defaults "COM3" and "COM4" and loads the file
// (options_load_from_file). Call once, at start-up. Blocks only on the disk.
void options_module_init(void);

// options_module_init for a program that only reads the settings (the
// command line): no folder and no file is ever made or written, and
// options_save_to_file always fails.
void options_module_init_read_only(void);

// Loads both settings. A missing file gives the defaults and is created. An
// existing file that cannot be read as settings is not touched, now or by a
// later save; the settings read from it before the fault are kept, the others
// keep their values (options_load_problem says why). A key missing from a
// readable file (or the whole group missing) gives that key's default, in
// memory only.
void options_load_from_file(void);

// Why the last load found the file unreadable as settings, as an English
// constant to show through the translation ("it is larger than 1 MB"), or
// null when it was read (or missing).
const char *options_load_problem(void);

// Writes both settings to the file, replacing it whole. Returns TRUE when the
// file was written, FALSE otherwise (the settings in memory stay as they are):
// also for a file the last load could not read and a file without write
// permission.
gboolean options_save_to_file(void);

// The two halves of the file's handling without the file: options_load_from_data
// reads both settings from the file's text (length bytes) as a load of an
// existing file does and returns TRUE when the text is a key file;
// options_save_to_data returns the text a save writes (g_free; its length in
// *length), or null when a setting holds no string.
gboolean options_load_from_data(const gchar *text, gsize length);
gchar *options_save_to_data(gsize *length);

// Whether a dump also leaves a TAP image beside its DMP file (the save
// dialog's check button). FALSE until the file or a setter says otherwise;
// kept in the file by the next options_save_to_file.
gboolean options_get_write_tap_image(void);
void options_set_write_tap_image(gboolean write_image);

// The folder of the last dump chosen in the save dialog (file-name encoding),
// or null while none was. Kept in the file by the next options_save_to_file,
// so the first dialog of a later run opens there. The getter's string is owned
// by this module and valid until the next set or load; the setter copies
// (null forgets the folder).
const gchar *options_get_dump_folder(void);
void options_set_dump_folder(const gchar *folder);

// The folder programs were last saved to (Save Program..., Save All
// Programs...), the same way as the dump's folder.
const gchar *options_get_programs_folder(void);
void options_set_programs_folder(const gchar *folder);

// Every file chooser's folder, the two above included: Open Tape..., Rescue...
// and Save Clean TAP... keep theirs the same way.
enum options_folder_use {
    options_folder_dump,
    options_folder_programs,
    options_folder_open_tape,
    options_folder_rescue,
    options_folder_clean_tap,
    options_folder_uses
};
const gchar *options_get_folder(options_folder_use use);
void options_set_folder(options_folder_use use, const gchar *folder);

// The settings file's full path (UTF-8), or null before options_module_init
// and when there is no usable configuration folder.
// Owned by this module.
const gchar *options_config_file_path(void);
