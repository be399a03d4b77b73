#include "tape_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct file_closer {
    void operator()(FILE *file) const { std::fclose(file); }
};
using file_handle = std::unique_ptr<FILE, file_closer>;

int fail(std::string *error, const char *what, const char *path)
{
    if (error)
        *error = std::string(what) + " " + path + ": " + std::strerror(errno);
    return 0;
}

}  // namespace

int tape_read_file(const char *path, std::vector<unsigned char> *bytes, std::string *error)
{
    file_handle file(std::fopen(path, "rb"));
    if (!file)
        return fail(error, "cannot open", path);
    bytes->clear();
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes->insert(bytes->end(), buffer, buffer + got);
    if (std::ferror(file.get()))
        return fail(error, "cannot read", path);
    return 1;
}
