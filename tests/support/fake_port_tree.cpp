#include "fake_port_tree.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

void make_folder(const std::string &path)
{
    ASSERT_EQ(g_mkdir_with_parents(path.c_str(), 0755), 0) << path;
}

void write_text(const std::string &path, const std::string &text)
{
    ASSERT_TRUE(g_file_set_contents(path.c_str(), text.c_str(), -1, nullptr)) << path;
    g_chmod(path.c_str(), 0644);
}

void make_link(const std::string &target, const std::string &path)
{
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
}

}  // namespace

fake_port_tree::fake_port_tree() : dev_(folder_.path() + "/dev"), sys_(folder_.path() + "/sys")
{
    g_chmod(folder_.path().c_str(), 0755);
    make_folder(dev_);
    make_folder(sys_ + "/class/tty");
}

void fake_port_tree::add_port(const std::string &name, const std::string &usb_id, const std::string &maker,
                              const std::string &product)
{
    write_text(dev_ + "/" + name, "");
    if (usb_id.empty())
        return;
    const std::string usb_name = "1-" + std::to_string(++usb_devices_);
    const std::string usb_device = "devices/pci0000:00/0000:00:14.0/usb1/" + usb_name;
    const std::string interface = usb_device + "/" + usb_name + ":1.0";
    const bool acm = name.rfind("ttyACM", 0) == 0;
    const std::string device = acm ? interface : interface + "/" + name;
    make_folder(sys_ + "/" + device + "/tty/" + name);
    write_text(sys_ + "/" + usb_device + "/idVendor", usb_id.substr(0, 4) + "\n");
    write_text(sys_ + "/" + usb_device + "/idProduct", usb_id.substr(5) + "\n");
    if (!maker.empty())
        write_text(sys_ + "/" + usb_device + "/manufacturer", maker + "\n");
    if (!product.empty())
        write_text(sys_ + "/" + usb_device + "/product", product + "\n");
    make_link("../../" + device + "/tty/" + name, sys_ + "/class/tty/" + name);
    make_link("../..", sys_ + "/" + device + "/tty/" + name + "/device");
}

void fake_port_tree::add_by_id(const std::string &link, const std::string &node_name)
{
    make_folder(dev_ + "/serial/by-id");
    make_link("../../" + node_name, dev_ + "/serial/by-id/" + link);
}
