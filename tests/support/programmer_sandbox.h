// A private place for one test that runs avrdude.
//
// The constructor makes a temporary folder, points HOME and XDG_CONFIG_HOME
// into it (so no personal avrdude configuration takes part), makes a working
// folder in it the current directory and copies /etc/avrdude.conf there, as a
// user would keep it beside the client. The destructor puts the working
// directory and the environment back and removes the folder.
#pragma once

#include <string>

class programmer_sandbox {
public:
    programmer_sandbox();
    ~programmer_sandbox();
    programmer_sandbox(const programmer_sandbox &) = delete;
    programmer_sandbox &operator=(const programmer_sandbox &) = delete;

    // The working folder (the current directory while the sandbox lives).
    const std::string &work_dir() const { return work_; }

    // Points PATH at an empty folder, so no avrdude can be found.
    void hide_programmer();

    // Puts an executable shell script named avrdude first on PATH.
    void put_programmer_script(const std::string &body);

    // Path of the file name in the working folder.
    std::string path(const std::string &name) const;

    // Whether the file exists in the working folder.
    bool exists(const std::string &name) const;

private:
    std::string root_, work_, old_cwd_;
    std::string old_home_, old_xdg_, old_path_;
    bool had_home_ = false, had_xdg_ = false, had_path_ = false;
};

// How many live or unreaped processes this process has as children whose
// command name is name (read from /proc).
int count_child_processes(const char *name);

// Copies /etc/avrdude.conf to destination; true on success.
bool copy_avrdude_configuration(const std::string &destination);
