#include "device/port_list.h"

#include "translate.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// How far above a tty's device folder the USB device folder may sit (the
// interface folder, then the device: two for cdc-acm, three for usb-serial).
const int usb_device_search_depth = 6;

std::string take_string(char *text)
{
    std::string copy = text ? text : "";
    g_free(text);
    return copy;
}

std::string join(const std::string &folder, const std::string &name)
{
    return take_string(g_build_filename(folder.c_str(), name.c_str(), nullptr));
}

// The path with every symbolic link resolved, or empty when it leads nowhere.
std::string resolved(const std::string &path)
{
    char *real = realpath(path.c_str(), nullptr);
    std::string result = real ? real : "";
    free(real);
    return result;
}

// The first line of a small file, without its line end; empty when unreadable.
std::string first_line(const std::string &path)
{
    char *text = nullptr;
    if (!g_file_get_contents(path.c_str(), &text, nullptr, nullptr))
        return "";
    std::string line = text;
    g_free(text);
    line = line.substr(0, line.find('\n'));
    return take_string(g_strstrip(g_strdup(line.c_str())));
}

// Names in `folder` for which `wanted` holds, numbers sorted by value.
template <typename Filter>
std::vector<std::string> sorted_names(const std::string &folder, Filter wanted)
{
    std::vector<std::pair<std::string, std::string>> keyed;
    if (GDir *dir = g_dir_open(folder.c_str(), 0, nullptr)) {
        while (const char *name = g_dir_read_name(dir)) {
            if (wanted(name))
                keyed.emplace_back(take_string(g_utf8_collate_key_for_filename(name, -1)), name);
        }
        g_dir_close(dir);
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> names;
    for (auto &[key, name] : keyed)
        names.push_back(std::move(name));
    return names;
}

// Fills in maker, product and USB id from the USB device above the tty's
// device folder in sysfs, when there is one.
void describe_from_sysfs(port_info &port, const std::string &node_name, const std::string &sys_root)
{
    const std::string top = resolved(sys_root);
    std::string folder = resolved(join(join(join(sys_root, "class/tty"), node_name), "device"));
    for (int depth = 0; depth < usb_device_search_depth && !top.empty(); ++depth) {
        if (folder.size() <= top.size() || folder.compare(0, top.size(), top) != 0)
            return;
        if (g_file_test(join(folder, "idVendor").c_str(), G_FILE_TEST_EXISTS)) {
            port.maker = first_line(join(folder, "manufacturer"));
            port.product = first_line(join(folder, "product"));
            port.usb_id = first_line(join(folder, "idVendor")) + ":" + first_line(join(folder, "idProduct"));
            return;
        }
        folder = take_string(g_path_get_dirname(folder.c_str()));
    }
}

// The process that holds a lock on the file of `status` (flock, POSIX or
// open file description lock, as /proc/locks lists them); 0 when none does.
long lock_holder(const struct stat &status)
{
    char *text = nullptr;
    if (!g_file_get_contents("/proc/locks", &text, nullptr, nullptr))
        return 0;
    long holder = 0;
    char **lines = g_strsplit(text, "\n", -1);
    for (char **line = lines; *line && holder == 0; ++line) {
        char **fields = g_strsplit_set(*line, " \t", -1);
        long pid = 0;
        for (char **field = fields; *field; ++field) {
            unsigned major_number = 0, minor_number = 0;
            unsigned long inode = 0;
            char end = 0;
            if (g_str_equal(*field, "->"))
                break;  // a waiter, not a holder
            if (std::sscanf(*field, "%x:%x:%lu%c", &major_number, &minor_number, &inode, &end) == 3) {
                if (major_number == major(status.st_dev) && minor_number == minor(status.st_dev) &&
                    inode == status.st_ino)
                    holder = pid;
                break;
            }
            if (**field != '\0')
                pid = std::strtol(*field, nullptr, 10);
        }
        g_strfreev(fields);
    }
    g_strfreev(lines);
    g_free(text);
    return holder;
}

bool process_in_group(gid_t group)
{
    if (getegid() == group)
        return true;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? count : 0);
    if (count > 0 && getgroups(count, groups.data()) == count)
        return std::find(groups.begin(), groups.end(), group) != groups.end();
    return false;
}

bool user_listed_in_group(const struct group &entry)
{
    const struct passwd *user = getpwuid(getuid());
    if (user == nullptr || entry.gr_mem == nullptr)
        return false;
    for (char **member = entry.gr_mem; *member; ++member) {
        if (g_str_equal(*member, user->pw_name))
            return true;
    }
    return false;
}

template <typename... Values>
std::string formatted(const char *pattern, Values... values)
{
    return take_string(g_strdup_printf(pattern, values...));
}

// Why this user may not open the port behind `path`, which access() refused.
void explain_refusal(port_info &port, int error)
{
    struct stat status;
    if (error != EACCES || stat(port.path.c_str(), &status) != 0 || process_in_group(status.st_gid)) {
        port.reason = formatted(_("cannot be opened: %s"), g_strerror(error));
        return;
    }
    const struct group *owner = getgrgid(status.st_gid);
    const std::string group = owner ? owner->gr_name : std::to_string(status.st_gid);
    if (owner && user_listed_in_group(*owner)) {
        port.reason = formatted(_("you were added to the group \"%s\" that may use it, but this session predates it"),
                                group.c_str());
        port.advice = _("log out and in again");
        return;
    }
    port.reason = formatted(_("only the group \"%s\" may use it, and you are not in it"), group.c_str());
    port.advice = formatted(_("sudo usermod -aG %s $USER, then log out and in again"), group.c_str());
}

void judge_access(port_info &port)
{
    if (access(port.path.c_str(), R_OK | W_OK) != 0) {
        explain_refusal(port, errno);
        return;
    }
    struct stat status;
    const long holder = stat(port.path.c_str(), &status) == 0 ? lock_holder(status) : 0;
    if (holder != 0) {
        std::string name = first_line("/proc/" + std::to_string(holder) + "/comm");
        port.reason = formatted(_("in use by %s (process %ld)"), name.empty() ? _("another program") : name.c_str(),
                                holder);
        port.advice = _("end that program, or close the port in it");
        return;
    }
    port.accessible = true;
}

port_info port_at(const std::string &path, const std::string &target, const std::string &sys_root)
{
    port_info port;
    port.path = path;
    port.target = target;
    const std::string node = target.empty() ? path : target;
    describe_from_sysfs(port, take_string(g_path_get_basename(node.c_str())), sys_root);
    judge_access(port);
    return port;
}

}  // namespace

std::vector<port_info> port_list(const char *dev_root, const char *sys_root)
{
    std::vector<port_info> ports;
    const std::string by_id = join(dev_root, "serial/by-id");
    for (const std::string &name : sorted_names(by_id, [](const char *) { return true; })) {
        const std::string path = join(by_id, name);
        ports.push_back(port_at(path, resolved(path), sys_root));
    }
    auto serial_node = [](const char *name) {
        return g_str_has_prefix(name, "ttyACM") || g_str_has_prefix(name, "ttyUSB");
    };
    for (const std::string &name : sorted_names(dev_root, serial_node))
        ports.push_back(port_at(join(dev_root, name), "", sys_root));
    return ports;
}

std::string port_description(const port_info &port)
{
    if (port.maker.empty() || port.product.empty())
        return port.maker + port.product;
    return port.maker + " " + port.product;
}

std::string port_format(const port_info &port)
{
    std::string text = port.path;
    if (!port.target.empty())
        text += " -> " + port.target;
    const std::string description = port_description(port);
    if (!description.empty())
        text += "  " + description;
    if (!port.usb_id.empty())
        text += " [" + port.usb_id + "]";
    if (!port.accessible) {
        text += "\n  " + formatted(_("not usable: %s"), port.reason.c_str());
        if (!port.advice.empty())
            text += "; " + port.advice;
    }
    return text;
}
