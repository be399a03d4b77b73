#include "test_small_filesystem.h"

#include <glib.h>
#include <sys/mount.h>

#include <algorithm>
#include <vector>

test_small_filesystem::test_small_filesystem(size_t size_bytes)
{
    std::string options = "size=" + std::to_string(size_bytes) + ",mode=0700";
    is_mounted = mount("tmpfs", folder.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

test_small_filesystem::~test_small_filesystem()
{
    if (is_mounted)
        umount2(folder.path().c_str(), MNT_DETACH);
}

std::string test_small_filesystem::listing() const
{
    std::vector<std::string> names;
    if (GDir *dir = g_dir_open(folder.path().c_str(), 0, nullptr)) {
        while (const char *name = g_dir_read_name(dir))
            names.push_back(name);
        g_dir_close(dir);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}
