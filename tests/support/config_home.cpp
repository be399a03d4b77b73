#include "config_home.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cstdlib>
#include <stdexcept>

namespace {

void remove_tree(const std::string &path)
{
    if (g_file_test(path.c_str(), G_FILE_TEST_IS_DIR) && !g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK)) {
        if (GDir *dir = g_dir_open(path.c_str(), 0, nullptr)) {
            while (const gchar *name = g_dir_read_name(dir))
                remove_tree(path + "/" + name);
            g_dir_close(dir);
        }
        g_rmdir(path.c_str());
    } else {
        g_unlink(path.c_str());
    }
}

struct config_home_folder {
    std::string path;

    config_home_folder()
    {
        // g_get_tmp_dir() does not touch the configuration folder cache.
        gchar *made = g_dir_make_tmp("zr7k8-config-XXXXXX", nullptr);
        if (!made)
            throw std::runtime_error("cannot make a temporary configuration folder");
        path = made;
        g_free(made);
        setenv("XDG_CONFIG_HOME", path.c_str(), 1);
        // GTK+'s file chooser records recent files in the data folder.
        gchar *data_made = g_dir_make_tmp("zr7k8-data-XXXXXX", nullptr);
        if (data_made) {
            data = data_made;
            g_free(data_made);
            setenv("XDG_DATA_HOME", data.c_str(), 1);
        }
    }

    ~config_home_folder()
    {
        remove_tree(path);
        if (!data.empty())
            remove_tree(data);
    }

    std::string data;
};

}  // namespace

const std::string &test_config_home()
{
    static config_home_folder folder;
    return folder.path;
}

const std::string &test_config_reset()
{
    const std::string &home = test_config_home();
    remove_tree(test_config_folder());
    return home;
}

std::string test_config_folder()
{
    return test_config_home() + "/zr7k8-client";
}

std::string test_config_file()
{
    return test_config_folder() + "/user.ini";
}

std::string test_read_file(const std::string &path, bool *exists)
{
    gchar *contents = nullptr;
    gsize length = 0;
    bool found = g_file_get_contents(path.c_str(), &contents, &length, nullptr);
    if (exists)
        *exists = found;
    std::string text = found ? std::string(contents, length) : std::string();
    g_free(contents);
    return text;
}

void test_write_file(const std::string &path, const std::string &text)
{
    gchar *folder = g_path_get_dirname(path.c_str());
    g_mkdir_with_parents(folder, 0700);
    g_free(folder);
    if (!g_file_set_contents(path.c_str(), text.data(), static_cast<gssize>(text.size()), nullptr))
        throw std::runtime_error("cannot write " + path);
}
