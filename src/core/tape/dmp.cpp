#include "tape/dmp.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

struct file_closer {
    void operator()(FILE *file) const { std::fclose(file); }
};
using stdio_file = std::unique_ptr<FILE, file_closer>;

int fail(std::string *error, const char *what, const char *path)
{
    if (error)
        *error = std::string(what) + " " + path + ": " + std::strerror(errno);
    return 0;
}

constexpr std::size_t ending_length = sizeof dmp_ending - 1;

}  // namespace

std::vector<unsigned char> dmp_bytes_of_samples(const std::vector<unsigned short> &samples)
{
    std::vector<unsigned char> bytes(samples.size() * dmp_bytes_per_sample);
    for (std::size_t i = 0; i < samples.size(); ++i)
        dmp_put_sample(bytes.data() + dmp_bytes_per_sample * i, samples[i]);
    return bytes;
}

int dmp_path_has_ending(const char *path)
{
    const std::size_t length = std::strlen(path);
    return length >= ending_length && g_ascii_strcasecmp(path + length - ending_length, dmp_ending) == 0;
}

gchar *dmp_path_with_ending(const char *name)
{
    return dmp_path_has_ending(name) ? g_strdup(name) : g_strconcat(name, dmp_ending, nullptr);
}

gchar *dmp_path_beside(const char *dmp_path, const char *ending)
{
    std::size_t keep = std::strlen(dmp_path);
    if (dmp_path_has_ending(dmp_path))
        keep -= ending_length;
    return g_strdup_printf("%.*s%s", int(keep), dmp_path, ending);
}

int dmp_write_file(const char *path, const std::vector<unsigned short> &samples, std::string *error)
{
    const std::vector<unsigned char> bytes = dmp_bytes_of_samples(samples);
    stdio_file file(std::fopen(path, "wb"));
    if (!file)
        return fail(error, "cannot create", path);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return fail(error, "cannot write", path);
    if (std::fclose(file.release()) != 0)
        return fail(error, "cannot write", path);
    return 1;
}

int dmp_read_file(const char *path, std::vector<unsigned short> *samples, std::string *error)
{
    stdio_file file(std::fopen(path, "rb"));
    if (!file)
        return fail(error, "cannot open", path);
    samples->clear();
    unsigned char buffer[65536 + 1];
    std::size_t held = 0; // a low byte waiting for its high byte
    std::size_t got;
    while ((got = std::fread(buffer + held, 1, sizeof buffer - 1, file.get())) > 0) {
        const std::size_t available = held + got;
        const std::size_t before = samples->size();
        samples->resize(before + available / dmp_bytes_per_sample);
        dmp_decode(buffer, available, samples->data() + before);
        held = available % dmp_bytes_per_sample;
        if (held)
            buffer[0] = buffer[available - 1];
    }
    if (std::ferror(file.get()))
        return fail(error, "cannot read", path);
    return 1;
}
