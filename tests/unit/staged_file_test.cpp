// Files written beside their target and renamed into place: what the target
// holds before and after, what is refused, and what a stop by signal leaves.
#include "staged_file.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

std::string contents(const std::string &path)
{
    gchar *text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &text, &length, nullptr))
        return "(missing)";
    std::string result(text, length);
    g_free(text);
    return result;
}

void write_all(int fd, const std::string &text)
{
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
}

TEST(StagedFile, TheTargetChangesOnlyAtTheCommitAndALinkIsReplacedNotFollowed)
{
    test_folder folder;
    const std::string notes = folder.path() + "/notes.txt";
    const std::string target = folder.path() + "/tape.dmp";
    ASSERT_TRUE(g_file_set_contents(notes.c_str(), "mine", -1, nullptr));
    ASSERT_EQ(symlink("notes.txt", target.c_str()), 0);

    GError *error = nullptr;
    staged_file *file = staged_file_create(target.c_str(), &error);
    ASSERT_NE(file, nullptr) << error->message;
    write_all(file->fd, "new");
    EXPECT_EQ(contents(target), "mine");
    gchar *temporary_folder = g_path_get_dirname(file->temporary_path);
    EXPECT_EQ(temporary_folder, folder.path());
    g_free(temporary_folder);
    ASSERT_TRUE(staged_file_commit(file, &error)) << error->message;

    struct stat status;
    ASSERT_EQ(lstat(target.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(contents(target), "new");
    EXPECT_EQ(contents(notes), "mine");
    EXPECT_EQ(test_folder_listing(folder.path()), "notes.txt tape.dmp");
}

TEST(StagedFile, ADiscardLeavesTheTargetAsItWasAndNothingElse)
{
    test_folder folder;
    const std::string target = folder.path() + "/precious.dmp";
    ASSERT_TRUE(g_file_set_contents(target.c_str(), "precious", -1, nullptr));
    staged_file *file = staged_file_create(target.c_str(), nullptr);
    ASSERT_NE(file, nullptr);
    write_all(file->fd, "half");
    staged_file_discard(file);
    EXPECT_EQ(contents(target), "precious");
    EXPECT_EQ(test_folder_listing(folder.path()), "precious.dmp");
}

TEST(StagedFile, OnlyNewNamesAndRegularFilesAreTargets)
{
    test_folder folder;
    const std::string fifo = folder.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string device_link = folder.path() + "/null.dmp";
    ASSERT_EQ(symlink("/dev/null", device_link.c_str()), 0);
    const std::string dangling = folder.path() + "/dangling.dmp";
    ASSERT_EQ(symlink("nowhere", dangling.c_str()), 0);

    for (const std::string &refused : {fifo, device_link, folder.path(), std::string("/dev/null")}) {
        GError *error = nullptr;
        EXPECT_EQ(staged_file_create(refused.c_str(), &error), nullptr) << refused;
        ASSERT_NE(error, nullptr) << refused;
        g_error_free(error);
    }
    // A dangling link is a name taken, not a free one.
    EXPECT_EQ(staged_file_look_at_target(dangling.c_str(), nullptr), STAGED_TARGET_FILE);
    GError *error = nullptr;
    EXPECT_EQ(staged_file_create_new(dangling.c_str(), &error), nullptr);
    EXPECT_TRUE(g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_EXIST));
    g_clear_error(&error);
    EXPECT_EQ(test_folder_listing(folder.path()), "dangling.dmp fifo null.dmp");
}

TEST(StagedFile, ANameFreeAtTheCreationIsNeverReplacedByTheCommit)
{
    test_folder folder;
    const std::string target = folder.path() + "/side.tap";
    staged_file *file = staged_file_create(target.c_str(), nullptr);
    ASSERT_NE(file, nullptr);
    write_all(file->fd, "image");
    ASSERT_TRUE(g_file_set_contents(target.c_str(), "came meanwhile", -1, nullptr));
    GError *error = nullptr;
    EXPECT_FALSE(staged_file_commit(file, &error));
    EXPECT_TRUE(g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_EXIST));
    g_clear_error(&error);
    EXPECT_EQ(contents(target), "came meanwhile");
    EXPECT_EQ(test_folder_listing(folder.path()), "side.tap");
}

TEST(StagedFile, AReplacedFileKeepsItsModeAndOwnerAndItsOtherLinksAreCounted)
{
    test_folder folder;
    const std::string target = folder.path() + "/secret.prg";
    const std::string other = folder.path() + "/other name.prg";
    ASSERT_TRUE(g_file_set_contents(target.c_str(), "old", -1, nullptr));
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const bool may_chown = geteuid() == 0;
    if (may_chown) {
        ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(link(target.c_str(), other.c_str()), 0);
    EXPECT_EQ(staged_file_other_links(target.c_str()), 1u);

    staged_file *file = staged_file_create(target.c_str(), nullptr);
    ASSERT_NE(file, nullptr);
    write_all(file->fd, "new");
    ASSERT_TRUE(staged_file_commit(file, nullptr));
    struct stat status;
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    if (may_chown) {
        EXPECT_EQ(status.st_uid, 65534u);
        EXPECT_EQ(status.st_gid, 65534u);
    }
    EXPECT_EQ(contents(other), "old");
    EXPECT_EQ(staged_file_other_links(target.c_str()), 0u);
}

TEST(StagedFile, ALongestLegalNameCanBeStaged)
{
    test_folder folder;
    const std::string target = folder.path() + "/" + std::string(250, 'n') + ".tap";
    GError *error = nullptr;
    staged_file *file = staged_file_create(target.c_str(), &error);
    ASSERT_NE(file, nullptr) << error->message;
    write_all(file->fd, "long");
    ASSERT_TRUE(staged_file_commit(file, &error)) << error->message;
    EXPECT_EQ(contents(target), "long");
}

TEST(StagedFile, AStopBySignalRemovesTheTemporaryFiles)
{
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGRTMIN}) {
        test_folder folder;
        const std::string target = folder.path() + "/image.tap";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(signal_number, SIG_DFL);
            staged_file *first = staged_file_create(target.c_str(), nullptr);
            staged_file *second = staged_file_create(target.c_str(), nullptr);
            if (!first || !second)
                _exit(1);
            raise(signal_number);
            _exit(2);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), signal_number);
        EXPECT_EQ(test_folder_listing(folder.path()), "");
    }
}

}  // namespace
