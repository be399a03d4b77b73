// Fixture for the Reboot and FW Update tests: the client started as main
// does, inside a programmer sandbox (private HOME and XDG_CONFIG_HOME for
// avrdude, its own working directory with avrdude.conf copied in).
#pragma once

#include "gui_support.h"
#include "programmer_sandbox.h"

#include <memory>
#include <string>

class maintenance_test : public gui_test {
protected:
    void SetUp() override;
    void TearDown() override;

    programmer_sandbox &sandbox() { return *sandbox_; }

    // Replaces both port settings, as the settings window would.
    static void set_ports(const std::string &device, const std::string &bootloader);

    // A tool button of the main window by name.
    static GtkWidget *button(const char *name);

    // The toolbar at rest (Settings to FW Update available, Abort greyed), or
    // busy (the six greyed, Abort available).
    static bool toolbar_resting();
    static bool toolbar_busy();

    // Pumps the main loop until the status bar shows `text`; a generous
    // deadline only catches hangs.
    static bool wait_for_status(const std::string &text, int deadline_ms = 90000);

private:
    std::unique_ptr<programmer_sandbox> sandbox_;
};
