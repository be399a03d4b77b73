// "Save Clean TAP..." below the tape contents list: a clean TAP image of the
// tape the list shows (tape/clean_tap.h), with its .idx index beside it, as
// `zr7k8 totap --clean` and `zr7k8 rescue --tap` write them. The tape is the
// file the list was filled from: a dump's file once its capture kept it, the
// file of Open Tape..., or the takes of Rescue... (the image is made of the
// first take, with what the rescue gave back). After a Preview there is no
// file and the button stays greyed, as it does while any operation runs.
//
// The save dialog proposes "NAME clean.tap" and opens in the folder it last
// saved to (kept in the settings), else the last dump's folder, else the
// working folder. A name without a .tap ending gets one. One question names
// the image and its index where either exists; No brings the dialog back.
// An image may not replace a take it is made from. The image is written on a
// worker (callbacks_file_job.h) for the machine and video standard of the
// Sampling options window, as the command line's --machine and --video.
// Interface thread only.
#pragma once

#include "tape/tape_rescue.h"
#include "tape/tape_take.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

// The list now shows the tape in the file at path (a dump or Open Tape).
void callbacks_clean_tap_set_tape(const char *path);

// The list now shows what a rescue made of the takes at paths: their files
// as read (takes) and combined (files) are kept for the image.
void callbacks_clean_tap_set_rescue(std::vector<std::string> paths,
                                    std::shared_ptr<const std::vector<std::vector<tape_take_file>>> takes,
                                    std::shared_ptr<const std::vector<tape_rescued_file>> files);

// The list was cleared: there is no tape to save.
void callbacks_clean_tap_forget(void);

// Makes the button sensitive only while there is a tape and no operation
// runs.
void callbacks_clean_tap_update_button(void);

void on_button_main_save_clean_tap_clicked(GtkButton *button, gpointer user_data);
