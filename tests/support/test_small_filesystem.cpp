#include "test_small_filesystem.h"

#include <sys/mount.h>

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
    return test_folder_listing(folder.path());
}
