#include "maintenance_fixture.h"

#include "main.h"
#include "options.h"
#include "support.h"

namespace {

const char *const operation_buttons[] = {
    "toolbutton_main_settings", "toolbutton_main_format", "toolbutton_main_monitor",
    "toolbutton_main_dump",     "toolbutton_main_reboot", "toolbutton_main_firmware_update",
};

bool maintenance_sensitive(const char *name)
{
    return gtk_widget_get_sensitive(lookup_widget(window_main, name)) != FALSE;
}

}  // namespace

void maintenance_test::SetUp()
{
    gui_test::SetUp();
    // After the client has read its configuration folder, so that this
    // sandbox's XDG_CONFIG_HOME is only what avrdude sees.
    sandbox_ = std::make_unique<programmer_sandbox>();
}

void maintenance_test::TearDown()
{
    sandbox_.reset();
    gui_test::TearDown();
}

void maintenance_test::set_ports(const std::string &device, const std::string &bootloader)
{
    g_free(options_device_port_string);
    options_device_port_string = g_strdup(device.c_str());
    g_free(options_bootloader_port_string);
    options_bootloader_port_string = g_strdup(bootloader.c_str());
}

GtkWidget *maintenance_test::button(const char *name)
{
    return lookup_widget(window_main, name);
}

bool maintenance_test::toolbar_resting()
{
    for (const char *name : operation_buttons) {
        if (!maintenance_sensitive(name))
            return false;
    }
    return !maintenance_sensitive("toolbutton_main_abort");
}

bool maintenance_test::toolbar_busy()
{
    for (const char *name : operation_buttons) {
        if (maintenance_sensitive(name))
            return false;
    }
    return maintenance_sensitive("toolbutton_main_abort");
}

bool maintenance_test::wait_for_status(const std::string &text, int deadline_ms)
{
    return test_pump_until([&] { return test_statusbar_text() == text; }, deadline_ms);
}
