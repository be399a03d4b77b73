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

std::vector<unsigned char> tape_samples_to_bytes(const std::vector<unsigned short> &samples)
{
    std::vector<unsigned char> bytes;
    bytes.reserve(samples.size() * 2);
    for (unsigned short sample : samples) {
        bytes.push_back(static_cast<unsigned char>(sample & 0xFF));
        bytes.push_back(static_cast<unsigned char>(sample >> 8));
    }
    return bytes;
}

int tape_write_dmp(const char *path, const std::vector<unsigned short> &samples, std::string *error)
{
    const std::vector<unsigned char> bytes = tape_samples_to_bytes(samples);
    file_handle file(std::fopen(path, "wb"));
    if (!file)
        return fail(error, "cannot create", path);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return fail(error, "cannot write", path);
    if (std::fclose(file.release()) != 0)
        return fail(error, "cannot write", path);
    return 1;
}

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

int tape_read_dmp(const char *path, std::vector<unsigned short> *samples, std::string *error)
{
    std::vector<unsigned char> bytes;
    if (!tape_read_file(path, &bytes, error))
        return 0;
    samples->clear();
    samples->reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples->push_back(static_cast<unsigned short>(bytes[i] | (bytes[i + 1] << 8)));
    return 1;
}
