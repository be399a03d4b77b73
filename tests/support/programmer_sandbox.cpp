#include "programmer_sandbox.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

void remember(const char *name, std::string &value, bool &had)
{
    const char *current = std::getenv(name);
    had = current != nullptr;
    if (had)
        value = current;
}

void restore(const char *name, const std::string &value, bool had)
{
    if (had)
        setenv(name, value.c_str(), 1);
    else
        unsetenv(name);
}

void remove_sandbox_tree(const std::string &path)
{
    GDir *dir = g_dir_open(path.c_str(), 0, nullptr);
    if (dir) {
        while (const char *entry = g_dir_read_name(dir)) {
            const std::string child = path + "/" + entry;
            if (g_file_test(child.c_str(), G_FILE_TEST_IS_DIR) && !g_file_test(child.c_str(), G_FILE_TEST_IS_SYMLINK))
                remove_sandbox_tree(child);
            else
                g_unlink(child.c_str());
        }
        g_dir_close(dir);
    }
    g_rmdir(path.c_str());
}

}  // namespace

bool copy_avrdude_configuration(const std::string &destination)
{
    char *contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents("/etc/avrdude.conf", &contents, &length, nullptr))
        return false;
    const bool written = g_file_set_contents(destination.c_str(), contents, static_cast<gssize>(length), nullptr);
    g_free(contents);
    return written;
}

programmer_sandbox::programmer_sandbox()
{
    char *root = g_dir_make_tmp("zr7k8-programmer-XXXXXX", nullptr);
    if (!root) {
        ADD_FAILURE() << "no temporary folder";
        return;
    }
    root_ = root;
    g_free(root);
    work_ = root_ + "/work";
    const std::string home = root_ + "/home";
    g_mkdir(work_.c_str(), 0700);
    g_mkdir(home.c_str(), 0700);

    remember("HOME", old_home_, had_home_);
    remember("XDG_CONFIG_HOME", old_xdg_, had_xdg_);
    remember("PATH", old_path_, had_path_);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);

    char *cwd = g_get_current_dir();
    old_cwd_ = cwd;
    g_free(cwd);
    if (chdir(work_.c_str()) != 0)
        ADD_FAILURE() << "cannot enter " << work_;
    if (!copy_avrdude_configuration(path("avrdude.conf")))
        ADD_FAILURE() << "cannot copy /etc/avrdude.conf";
}

programmer_sandbox::~programmer_sandbox()
{
    if (!old_cwd_.empty() && chdir(old_cwd_.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << old_cwd_;
    restore("HOME", old_home_, had_home_);
    restore("XDG_CONFIG_HOME", old_xdg_, had_xdg_);
    restore("PATH", old_path_, had_path_);
    if (!root_.empty())
        remove_sandbox_tree(root_);
}

void programmer_sandbox::hide_programmer()
{
    const std::string empty = root_ + "/empty-path";
    g_mkdir(empty.c_str(), 0700);
    setenv("PATH", empty.c_str(), 1);
}

void programmer_sandbox::put_programmer_script(const std::string &body)
{
    const std::string bin = root_ + "/bin";
    g_mkdir(bin.c_str(), 0700);
    const std::string script = bin + "/avrdude";
    const std::string text = "#!/bin/sh\n" + body + "\n";
    ASSERT_TRUE(g_file_set_contents(script.c_str(), text.c_str(), -1, nullptr));
    g_chmod(script.c_str(), 0700);
    setenv("PATH", (bin + ":" + old_path_).c_str(), 1);
}

std::string programmer_sandbox::path(const std::string &name) const
{
    return work_ + "/" + name;
}

bool programmer_sandbox::exists(const std::string &name) const
{
    return g_file_test(path(name).c_str(), G_FILE_TEST_EXISTS);
}

int count_child_processes(const char *name)
{
    int count = 0;
    DIR *proc = opendir("/proc");
    if (!proc)
        return -1;
    while (dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // pid (comm) state ppid ...; comm may hold spaces, so split at the last ')'.
        const std::size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 1));
        std::string state;
        long parent = 0;
        rest >> state >> parent;
        if (parent == getpid() && text.substr(open + 1, close - open - 1) == name)
            ++count;
    }
    closedir(proc);
    return count;
}
