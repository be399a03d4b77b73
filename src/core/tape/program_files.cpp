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

}  // namespace

std::string program_file_name(const unsigned char name[16])
{
    unsigned char field[17];
    std::memcpy(field, name, 16);
    field[16] = 0;
    char shown[17];
    petscii_printable_name(field, shown);
    std::string base = shown;
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    std::replace_if(base.begin(), base.end(), refused_by_fat, '_');
    if (!base.empty() && (base[0] == '.' || base[0] == '-'))
        base[0] = '_';
    if (base.empty())
        base = "unnamed";
    return base + ".prg";
}

std::string program_file_name_next(const unsigned char name[16], std::vector<std::string> *taken)
{
    const std::string first = program_file_name(name);
    const std::string stem = first.substr(0, first.size() - 4);
    std::string chosen = first;
    for (unsigned n = 2; std::find(taken->begin(), taken->end(), chosen) != taken->end(); ++n)
        chosen = stem + " (" + std::to_string(n) + ").prg";
    taken->push_back(chosen);
    return chosen;
}

std::vector<std::string> program_file_names(const std::vector<tape_program> &programs)
{
    std::vector<std::string> names;
    for (const tape_program &program : programs)
        program_file_name_next(program.name.data(), &names);
    return names;
}

bool program_file_write(const std::string &path, const tape_program &program, std::string *error)
{
    GError *failure = nullptr;
    staged_file *file = staged_file_create(path.c_str(), &failure);
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
    g_error_free(failure);
    return false;
}

std::vector<std::string> program_files_existing(const std::vector<std::string> &paths)
{
    std::vector<std::string> existing;
    for (const std::string &path : paths)
        if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS))
            existing.push_back(path);
    return existing;
}
