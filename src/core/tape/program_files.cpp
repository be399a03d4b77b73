#include "tape/program_files.h"

#include "tape/petscii.h"

#include "staged_file.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

bool refused_by_fat(char c)
{
    return std::strchr("\"*/:<>?\\|", c) != nullptr || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Writes all of data to fd; false with errno set on failure.
bool write_all(int fd, const unsigned char *data, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        length -= size_t(written);
    }
    return true;
}

// The file-name rule: trailing spaces dropped, refused characters and a
// leading '.' or '-' made '_', "unnamed" for nothing.
std::string safe_stem(std::string base)
{
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    std::replace_if(base.begin(), base.end(), refused_by_fat, '_');
    if (!base.empty() && (base[0] == '.' || base[0] == '-'))
        base[0] = '_';
    if (base.empty())
        base = "unnamed";
    return base;
}

// stem + ending, numbered " (2)", " (3)"... while taken holds it; added to taken.
std::string numbered_next(const std::string &stem, const char *ending, std::vector<std::string> *taken)
{
    std::string chosen = stem + ending;
    for (unsigned n = 2; std::find(taken->begin(), taken->end(), chosen) != taken->end(); ++n)
        chosen = stem + " (" + std::to_string(n) + ")" + ending;
    taken->push_back(chosen);
    return chosen;
}

std::string printable_stem(const unsigned char name[16])
{
    return safe_stem(petscii_printable_field(name));
}

}  // namespace

std::string program_file_name(const unsigned char name[16])
{
    return printable_stem(name) + ".prg";
}

std::string program_file_name_next(const unsigned char name[16], std::vector<std::string> *taken)
{
    return numbered_next(printable_stem(name), ".prg", taken);
}

std::string program_folder_name_next(const char *path, std::vector<std::string> *taken)
{
    gchar *base = g_path_get_basename(path);
    std::string stem = base;
    g_free(base);
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0)
        stem.erase(dot);
    return numbered_next(safe_stem(stem), "", taken);
}

std::vector<std::string> program_file_names(const std::vector<tape_program> &programs)
{
    std::vector<std::string> names;
    for (const tape_program &program : programs)
        program_file_name_next(program.name.data(), &names);
    return names;
}

bool program_file_write(const std::string &path, const tape_program &program, bool replace, std::string *error,
                        bool *exists)
{
    GError *failure = nullptr;
    staged_file *file =
        replace ? staged_file_create(path.c_str(), &failure) : staged_file_create_new(path.c_str(), &failure);
    if (file) {
        const unsigned char address[2] = {static_cast<unsigned char>(program.load_address & 0xFF),
                                          static_cast<unsigned char>(program.load_address >> 8)};
        if (write_all(file->fd, address, sizeof address) &&
            write_all(file->fd, program.bytes.data(), program.bytes.size())) {
            staged_file_commit(file, &failure);
        } else {
            g_set_error_literal(&failure, G_FILE_ERROR, g_file_error_from_errno(errno), g_strerror(errno));
            staged_file_discard(file);
        }
    }
    if (!failure)
        return true;
    *error = failure->message;
    if (exists)
        *exists = g_error_matches(failure, G_FILE_ERROR, G_FILE_ERROR_EXIST);
    g_error_free(failure);
    return false;
}
