// Answering the Dump save dialog and the overwrite question from the main
// loop while the code under test waits in their nested loops.
#pragma once

#include "gui_support.h"

#include <functional>
#include <memory>
#include <string>

// Fills in the save dialog when it shows (folder, then name) and presses its
// OK button once the chooser has taken the folder in (it loads folders in the
// background). `inspect` runs first with the dialog, for checks.
std::shared_ptr<test_window_watch> test_choose_file(const std::string &folder, const std::string &name,
                                                    std::function<void(GtkWidget *)> inspect = nullptr);

// Answers a file chooser registered as `dialog` once it shows `folder`,
// after `prepare` (which may select files), with its button `ok`. The
// chooser loads folders in the background and may take the one it opened in
// back: it is asked again until it shows `folder`.
std::shared_ptr<test_window_watch> test_answer_chooser(const char *dialog, const char *ok, const std::string &folder,
                                                       std::function<void(GtkFileChooser *)> prepare = nullptr);

// Answers each overwrite question (a message dialog) that shows while the
// object lives with `response`; records the text it showed.
class test_question_answerer {
public:
    explicit test_question_answerer(int response);
    ~test_question_answerer();
    test_question_answerer(const test_question_answerer &) = delete;
    test_question_answerer &operator=(const test_question_answerer &) = delete;

    int answered = 0;
    std::string text;         // the question's text, markup resolved
    bool keep_above = false;  // the question asked to stay on top

private:
    int response;
    guint source;
    static gboolean poll(gpointer self);
};

// Cancels the chooser registered as `dialog` once `question` has answered,
// on a poll after the answer: the chooser then runs again (the answer's own
// loop iteration may still belong to the question), so the cancel is not
// lost however slowly the question came.
class test_cancel_after_answer {
public:
    test_cancel_after_answer(const test_question_answerer &question, const char *dialog);
    ~test_cancel_after_answer();
    test_cancel_after_answer(const test_cancel_after_answer &) = delete;
    test_cancel_after_answer &operator=(const test_cancel_after_answer &) = delete;

private:
    const test_question_answerer &question;
    std::string dialog;
    bool answer_seen = false;
    guint source;
    static gboolean poll(gpointer self);
};
