// A made-up device folder and sysfs for the port lister: plain files stand
// for the device nodes, and the sysfs part has the shape the kernel gives a
// USB serial port (class/tty/<name> leading to the tty below its USB
// interface, the interface below the USB device with its strings).
#pragma once

#include "test_pty.h"

#include <string>

class fake_port_tree {
public:
    fake_port_tree();  // dev/ and sys/ in a fresh folder, readable by anyone

    const std::string &dev() const { return dev_; }
    const std::string &sys() const { return sys_; }

    // Adds the node dev/<name>. With a USB id ("vvvv:pppp"), a USB device
    // with that id and the maker and product strings (each left out when
    // empty) carries it: ttyACM* directly on its interface as cdc-acm does,
    // anything else one level further down as usb-serial does.
    void add_port(const std::string &name, const std::string &usb_id = "", const std::string &maker = "",
                  const std::string &product = "");

    // Adds dev/serial/by-id/<link> pointing to the node, relative as udev
    // makes it.
    void add_by_id(const std::string &link, const std::string &node_name);

private:
    test_folder folder_;
    std::string dev_, sys_;
    int usb_devices_ = 0;
};
