// The programs of the tape contents list in the real main window under
// Xvfb: Save Program..., Save All Programs... and Open Tape..., after a
// Preview of the simulated device and from files.
#include "config_home.h"
#include "devsim.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "link/serial.h"
#include "save_dialog_helper.h"
#include "support.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "tape_synth.h"
#include "tape_testing.h"
#include "tape/turbo_format.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <string>

namespace {

namespace fs = std::filesystem;

bool programs_sensitive(const char *name)
{
    return gtk_widget_is_sensitive(lookup_widget(window_main, name));
}

GtkTreeView *programs_contents_view()
{
    return GTK_TREE_VIEW(lookup_widget(window_main, "treeview_main_tape_contents"));
}

int programs_rows_shown()
{
    return gtk_tree_model_iter_n_children(gtk_tree_view_get_model(programs_contents_view()), nullptr);
}

// The names the list shows, row by row.
std::vector<std::string> names_shown()
{
    GtkTreeModel *model = gtk_tree_view_get_model(programs_contents_view());
    std::vector<std::string> names;
    GtkTreeIter row;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &row); more; more = gtk_tree_model_iter_next(model, &row)) {
        gchar *name = nullptr;
        gtk_tree_model_get(model, &row, 3, &name, -1);
        names.push_back(name ? name : "");
        g_free(name);
    }
    return names;
}

void select_row(int index)
{
    GtkTreePath *path = gtk_tree_path_new_from_indices(index, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(programs_contents_view()), path);
    gtk_tree_path_free(path);
}

// Chooses name in folder in the Open Tape dialog once the chooser has
// selected it.
std::shared_ptr<test_window_watch> open_tape(const std::string &folder, const std::string &name)
{
    const std::string path = folder + "/" + name;
    return test_answer_chooser("filechooserdialog_open_tape", "button_open_tape_ok", folder,
                          [path](GtkFileChooser *chooser) {
                              gtk_file_chooser_set_filename(chooser, path.c_str());
                              test_pump_until([&] {
                                  gchar *chosen = gtk_file_chooser_get_filename(chooser);
                                  const bool there = chosen && path == chosen;
                                  g_free(chosen);
                                  return there;
                              });
                          });
}

class Programs : public gui_test {
protected:
    void TearDown() override
    {
        serial_disconnect_port();
        test_pump_until([] { return programs_sensitive("toolbutton_main_monitor"); }, 5000);
        if (sim)
            devsim_stop(sim);
        gui_test::TearDown();
    }

    // A Preview of the simulated device playing samples, to its end.
    void preview(const std::vector<unsigned short> &samples)
    {
        devsim_options options;
        options.bytes_per_second = 0;
        const std::vector<unsigned char> stream = dmp_bytes_of_samples(samples);
        options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
        sim = devsim_start(options);
        ASSERT_NE(sim, nullptr);
        g_free(options_device_port_string);
        options_device_port_string = g_strdup(devsim_port_name(sim).c_str());
        test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
        ASSERT_TRUE(test_pump_until([] { return test_statusbar_text() == " Operation succeeded"; }, 20000));
    }

    // A Preview of the demo tape: a ROM file, a Turbo Tape 250 file and a
    // Turrican file, all with the same program.
    void preview_demo_tape()
    {
        preview(tape_demo_samples());
        ASSERT_TRUE(test_pump_until([] { return programs_rows_shown() == 3; }));
    }

    devsim *sim = nullptr;
    test_folder folder;
};

TEST_F(Programs, ButtonsSaveWhatTheListShowsAfterAPreview)
{
    EXPECT_FALSE(programs_sensitive("button_main_save_all_programs"));
    preview_demo_tape();
    EXPECT_TRUE(programs_sensitive("button_main_save_all_programs"));
    EXPECT_FALSE(programs_sensitive("button_main_save_program")) << "no row selected";
    select_row(1);
    EXPECT_TRUE(programs_sensitive("button_main_save_program"));

    // One program: the dialog proposes its name.
    const std::string one = folder.path() + "/one";
    fs::create_directory(one);
    std::string proposed;
    auto watch = test_answer_chooser("filechooserdialog_save_program", "button_save_program_ok", one,
                                [&](GtkFileChooser *chooser) {
                                    gchar *name = gtk_file_chooser_get_filename(chooser);
                                    proposed = name ? fs::path(name).filename().string() : "";
                                    g_free(name);
                                });
    test_click(lookup_widget(window_main, "button_main_save_program"));
    EXPECT_EQ(proposed, "DEMO TURBO.prg");
    const std::string turbo = test_read_file(one + "/DEMO TURBO.prg");
    ASSERT_GT(turbo.size(), 2u);
    EXPECT_EQ(turbo.substr(0, 2), std::string("\x01\x08", 2));

    // All: the ROM file's program is the same; an existing file is named in
    // one question, and No writes nothing.
    const std::string all = folder.path() + "/all";
    fs::create_directory(all);
    test_write_file(all + "/DEMO ROM.prg", "mine");
    {
        test_question_answerer no(GTK_RESPONSE_NO);
        // No on the question brings the chooser back: cancel it then.
        test_cancel_after_answer cancel(no, "filechooserdialog_save_all_programs");
        auto refused = test_answer_chooser("filechooserdialog_save_all_programs", "button_save_all_programs_ok", all);
        test_click(lookup_widget(window_main, "button_main_save_all_programs"));
        EXPECT_EQ(no.answered, 1);
        EXPECT_NE(no.text.find("DEMO ROM.prg"), std::string::npos) << no.text;
    }
    EXPECT_EQ(test_read_file(all + "/DEMO ROM.prg"), "mine");
    EXPECT_FALSE(fs::exists(all + "/DEMO TURBO.prg"));
    {
        test_question_answerer yes(GTK_RESPONSE_YES);
        auto saved = test_answer_chooser("filechooserdialog_save_all_programs", "button_save_all_programs_ok", all);
        test_click(lookup_widget(window_main, "button_main_save_all_programs"));
        EXPECT_EQ(yes.answered, 1);
    }
    EXPECT_EQ(test_read_file(all + "/DEMO ROM.prg"), turbo);
    EXPECT_EQ(test_read_file(all + "/DEMO TURBO.prg"), turbo);
    EXPECT_EQ(options_get_programs_folder(), all) << "the next chooser opens where this one saved";
}

std::string cell(int row, int column)
{
    GtkTreeModel *model = gtk_tree_view_get_model(programs_contents_view());
    GtkTreeIter at;
    if (!gtk_tree_model_iter_nth_child(model, &at, nullptr, row))
        return "(no row)";
    gchar *text = nullptr;
    gtk_tree_model_get(model, &at, column, &text, -1);
    std::string shown = text ? text : "";
    g_free(text);
    return shown;
}

// Columns of the store: position, loader, name, verdict.
enum { position = 1, loader = 2, name = 3, verdict = 4 };

// Three seconds and a half of another loader's data between two programs:
// a row of its own, between theirs, and the second program's verdict still
// lands on its own row.
TEST_F(Programs, PulsesNoFormatReadGetARowBetweenTheFiles)
{
    static const unsigned char program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};
    tape_synth synth;
    tape_synth_init(&synth, 0, 20, 3);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("FIRST"), 0x0801, program, sizeof program);
    for (int i = 0; i < 31; ++i)
        tape_synth_gap(&synth, 65535);
    tape_foreign_pulses(&synth, 7000000);
    for (int i = 0; i < 31; ++i)
        tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("SECOND"), 0x0801, program, sizeof program);
    tape_synth_gap(&synth, 65535);
    preview(synth.samples);
    ASSERT_TRUE(test_pump_until([] { return programs_rows_shown() == 3; }));

    EXPECT_EQ(cell(0, name) + " " + cell(0, verdict), "FIRST good");
    EXPECT_EQ(cell(1, position) + " " + cell(1, loader) + " " + cell(1, verdict),
              "0:18 unread 0:03 of pulses in no format read here");
    EXPECT_EQ(cell(2, name) + " " + cell(2, verdict), "SECOND good");
    select_row(1);
    EXPECT_FALSE(programs_sensitive("button_main_save_program")) << "no program in an unread stretch";
}

// Every target is looked at first: something in the way that is no file is
// named as such in the one question, the other programs are saved, and the
// status bar says which was not.
TEST_F(Programs, SaveAllNamesAnObstacleAndSavesTheRest)
{
    preview_demo_tape();
    const std::string all = folder.path() + "/all";
    fs::create_directory(all);
    ASSERT_EQ(mkfifo((all + "/DEMO ROM.prg").c_str(), 0600), 0);
    {
        test_question_answerer yes(GTK_RESPONSE_YES);
        auto saved = test_answer_chooser("filechooserdialog_save_all_programs", "button_save_all_programs_ok", all);
        test_click(lookup_widget(window_main, "button_main_save_all_programs"));
        EXPECT_EQ(yes.answered, 1);
        EXPECT_EQ(yes.text, "These names hold something that is not a file, which saving cannot replace: their "
                            "programs would not be saved:\nDEMO ROM.prg\n\nSave the other programs?");
    }
    EXPECT_TRUE(fs::is_fifo(all + "/DEMO ROM.prg"));
    EXPECT_GT(test_read_file(all + "/DEMO TURBO.prg").size(), 2u);
    EXPECT_EQ(test_statusbar_text(), " Programs saved in " + all + ": 2 of 3; not saved: DEMO ROM.prg");
}

TEST_F(Programs, OpenTapeFillsTheListFromAFileAndRefusesOtherFiles)
{
    const std::string tapes = ZR7K8_SOURCE_DIR "/tests/data/tapes";
    auto opened = open_tape(tapes, "openroms-testtape-c64-pal-turbo.tap");
    test_click(lookup_widget(window_main, "toolbutton_main_open_tape"));
    ASSERT_TRUE(
        test_pump_until([] { return test_statusbar_text() == " Opened openroms-testtape-c64-pal-turbo.tap"; }));
    EXPECT_EQ(programs_rows_shown(), 1);
    EXPECT_TRUE(programs_sensitive("button_main_save_all_programs"));
    EXPECT_TRUE(programs_sensitive("button_main_save_clean_tap"));
    EXPECT_EQ(options_get_folder(options_folder_open_tape), tapes);

    // A file that is no tape leaves the list as it was; its name cannot
    // forge a second line in the status bar.
    test_write_file(folder.path() + "/notes\n.txt", "not a tape");
    auto refused = open_tape(folder.path(), "notes\n.txt");
    test_click(lookup_widget(window_main, "toolbutton_main_open_tape"));
    EXPECT_EQ(test_statusbar_text(), " Cannot open notes\\n.txt: not a DMP file or TAP image");
    test_pump_pending();
    EXPECT_EQ(programs_rows_shown(), 1);
}

// A Preview that ends inside a Turrican header's name leaves the capture's
// decoders in the middle of it (the next capture would go on with it). A tape
// opened then is a tape of its own: its list shows the one file the command
// line names in it, not a Turrican name made of its lead-in.
TEST_F(Programs, OpenTapeAfterACaptureCutInsideAHeaderListsWhatTheCommandLineLists)
{
    tape_synth cut;
    tape_synth_init(&cut);
    tape_turbo_header(&cut, tape_turrican, tape_turbo_lead_in, 1, 0x0801, 0x0900, tape_name_field("CUT SHORT"));
    const unsigned name_bytes_left = 8;
    cut.samples.resize(tape_turbo_lead_in * 8 + turbo_pulses_to_name_end(turrican_format) - name_bytes_left * 8);
    preview(cut.samples);
    ASSERT_TRUE(test_pump_until([] { return programs_rows_shown() == 1; }))
        << "no file; its lead-in, which no file read claims, is a row of unread pulses";

    tape_synth opened;
    tape_synth_init(&opened);
    const unsigned char program[] = {1, 2, 3, 4};
    tape_turbo_header(&opened, tape_tt250, tape_turbo_lead_in, 1, 0x0801, 0x0805, tape_name_field("OPENED"));
    tape_turbo_data(&opened, tape_tt250, tape_turbo_lead_in, program, sizeof program);
    ASSERT_TRUE(dmp_write_file((folder.path() + "/opened.dmp").c_str(), opened.samples, nullptr));
    auto chosen = open_tape(folder.path(), "opened.dmp");
    test_click(lookup_widget(window_main, "toolbutton_main_open_tape"));
    ASSERT_TRUE(test_pump_until([] { return test_statusbar_text() == " Opened opened.dmp"; }));
    test_pump_pending();
    EXPECT_EQ(names_shown(), std::vector<std::string>{"OPENED"});
}

}  // namespace
