// The serial ports that could be the device, for a user choosing one.
//
// Listed in this order: the names in serial/by-id below the device folder
// (stable names made by udev from the USB maker, product and serial number),
// each with the device it points to; then every ttyACM* and ttyUSB* node. A
// port reached by a by-id name appears under that name and again under its
// node. Each port carries what sysfs knows of its USB device (maker, product,
// vendor and product id), found by walking up from class/tty/<name>/device to
// the folder of the USB device, and whether this user can open it; when not,
// why and what to do about it.
//
// Listing opens no port: a port is judged by its permissions (access(2), so
// ACLs count) and by the locks that other programs hold on it (/proc/locks;
// the client and most serial programs flock the ports they use). A port that
// another program made exclusive without locking it is shown as usable; its
// open then fails as usual.
//
// The folders are parameters so that a test can give a tree of its own;
// front ends pass "/dev" and "/sys". Reads a few small files; never touches a
// device, never blocks on one. Any thread.
#pragma once

#include <string>
#include <vector>

struct port_info {
    std::string path;        // the name to give as port, e.g. "/dev/ttyACM0"
    std::string target;      // for a by-id name, the node it points to; else empty
    std::string maker;       // USB manufacturer string; empty when not known
    std::string product;     // USB product string; empty when not known
    std::string usb_id;      // "vvvv:pppp" (idVendor:idProduct); empty when not known
    bool accessible = false; // this user may open it for reading and writing, and no one holds it
    std::string reason;      // when not accessible: why, one line
    std::string advice;      // when not accessible: what to do, one line; may be empty
};

// The ports under `dev_root` (normally "/dev"), described from `sys_root`
// (normally "/sys"), in the order above. by-id names and nodes are each
// sorted by name, numbers by value (ttyACM2 before ttyACM10). Missing folders
// give no entries. The texts of reason and advice are translated.
std::vector<port_info> port_list(const char *dev_root, const char *sys_root);

// "maker product", either part left out when unknown; empty when both are.
std::string port_description(const port_info &port);

// The port for people: its path (with " -> target" for a by-id name), its
// description and USB id, and, on a second line indented by two spaces, the
// reason and the advice when it cannot be used. No line end at the end.
std::string port_format(const port_info &port);
