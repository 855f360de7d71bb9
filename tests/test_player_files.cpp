// Files a player's machine may hold in odd states: a history that cannot be read or
// written, links, FIFOs, full disks, two games at once, temporaries of killed writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/headless.h"
#include "persist/history.h"
#include "platform/files.h"
#include "platform/msgbox.h"
#include "test_player_process.h"
#include "test_support.h"

using namespace test_support;

namespace {

// A history image whose first entry carries `year`.
Bytes HistoryWithYear(uint32_t year)
{
    Bytes b(520, 0);
    PutU32(b, 0, year);
    return b;
}

// What stands at a path: its kind and, for a file or through a link, its bytes.
std::string Text(const Bytes& bytes)
{
    return {bytes.begin(), bytes.end()};
}
std::string Is(mode_t kind, const Bytes& bytes)
{
    return std::to_string(kind) + ":" + Text(bytes);
}
std::string State(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return "nothing";
    return Is(info.st_mode & S_IFMT, S_ISREG(info.st_mode) || S_ISLNK(info.st_mode) ? ReadFileBytes(path) : Bytes{});
}

class PlayerFiles : public PlayerProcessTest {
protected:
    static std::string Err(const std::string& in) { return Text(ReadFileBytes(in + "/stderr.txt")); }
};

TEST_F(PlayerFiles, AHistoryThatCannotBeReadOrWrittenIsKeptAndStderrSaysWhy)
{
    const bool root = getuid() == 0;
    // What stands at save.dat: nothing; a file of the player's with the given mode (on a
    // disk that takes 100 bytes only); a directory; a FIFO; a link to a file of root's
    // with that mode in a directory all may write, the link itself the player's.
    enum Kind { None, File, FullDisk, Directory, Fifo, Link };
    const struct {
        const char* what;
        Kind kind;
        mode_t fileMode, dirMode;
        std::vector<const char*> said; // none: stderr stays quiet
    } cases[] = {
        {"no file yet", None, 0, 0777, {}},
        {"the player's own file, write-only",
         File,
         0200,
         0777,
         {"save.dat: the race history was not read: Permission denied", "save.dat: the race history was not written"}},
        {"a directory", Directory, 0, 0777, {"not read: not a regular file"}},
        {"a FIFO", Fifo, 0, 0777, {"was not written"}},
        {"a full disk",
         FullDisk,
         0666,
         0777,
         {"save.dat: the race history was not written: File too large; the previous file is kept"}},
        {"a directory the player may not write in", File, 0666, 0755, {"not written: Permission denied"}},
        {"a link to a file the player may not write",
         Link,
         0644,
         0777,
         {"save.dat: the race history was not written: Permission denied; the previous file is kept"}},
    };
    // Left over from an earlier race in this process: start-up must clear it.
    for (HistoryEntry& e : g_history)
        e.time.tm_year = 77;
    for (size_t n = 0; n < std::size(cases); ++n) {
        const auto& c = cases[n];
        SCOPED_TRACE(c.what);
        if (!root && (c.dirMode != 0777 || c.kind == Link))
            continue; // root's files and directories are needed
        const std::string home = dir / std::to_string(n);
        const std::string save = home + "/save.dat";
        const std::string file = c.kind == Link ? home + "/store/real.dat" : save;
        ASSERT_EQ(mkdir(home.c_str(), 0777) + chmod(home.c_str(), c.dirMode), 0);
        if (c.kind == Directory)
            ASSERT_EQ(mkdir(save.c_str(), 0777), 0);
        if (c.kind == Fifo)
            ASSERT_EQ(mkfifo(save.c_str(), 0666), 0);
        if (c.kind == Link) {
            ASSERT_EQ(mkdir((home + "/store").c_str(), 0777) + chmod((home + "/store").c_str(), 0777), 0);
            ASSERT_EQ(symlink("store/real.dat", save.c_str()), 0);
            // The player's own link: only a link of the player's is followed at all.
            ASSERT_EQ(lchown(save.c_str(), kPlayer, static_cast<gid_t>(-1)), 0);
        }
        if (c.kind == File || c.kind == FullDisk || c.kind == Link) {
            WriteFileBytes(file, HistoryWithYear(105));
            ASSERT_EQ(chown(file.c_str(), c.kind == Link ? 0 : root ? kPlayer : getuid(), static_cast<gid_t>(-1)), 0);
            ASSERT_EQ(chmod(file.c_str(), c.fileMode), 0);
        }
        const std::string before = State(save);
        std::set<std::string> files = Listing(home);
        files.insert({"stderr.txt", "save.dat"});
        // The start-up read, a race, and the shutdown write, as the game does them.
        EXPECT_EQ(RunAsPlayer(home,
                              [&c] {
                                  signal(SIGXFSZ, SIG_IGN);
                                  struct rlimit limit {
                                      100, 100
                                  };
                                  if (c.kind == FullDisk)
                                      setrlimit(RLIMIT_FSIZE, &limit);
                                  LoadHistory();
                                  g_history[0].time.tm_year += 112;
                                  WriteSaveFile();
                                  return 0;
                              }),
                  0)
            << "214 is the alarm: an open waited";
        EXPECT_EQ(State(save), c.kind == None ? Is(S_IFREG, HistoryWithYear(112)) : before);
        EXPECT_EQ(Listing(home), files) << "a temporary file was left behind";
        for (const char* said : c.said)
            EXPECT_NE(Err(home).find(said), std::string::npos) << Err(home);
        if (c.said.empty())
            EXPECT_EQ(Err(home), "");
    }
}

TEST_F(PlayerFiles, AtomicWritesUseTheirOwnTemporaryFileAndFollowNothingPlanted)
{
    const std::string save = dir / "save.dat";
    WriteFileBytes(dir / "victim.txt", {'k', 'e', 'e', 'p'});
    // The temporary name of older builds, planted as a link to another file.
    ASSERT_EQ(symlink((dir / "victim.txt").c_str(), (dir / "save.dat.tmp").c_str()), 0);
    g_history[0].time.tm_year = 125;
    ASSERT_TRUE(WriteHistoryFile(save.c_str()));
    EXPECT_EQ(ReadFileBytes(dir / "victim.txt"), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(ReadFileBytes(save), HistoryWithYear(125));

    // Two games writing at once: every write succeeds and the file always holds one
    // whole history, never an empty or half one.
    pid_t writers[2];
    for (int w = 0; w < 2; ++w)
        if ((writers[w] = fork()) == 0) {
            const Bytes mine = HistoryWithYear(100 + w);
            int failed = 0;
            for (int i = 0; i < 60; ++i)
                failed += plat::WriteFileAtomically(save.c_str(), mine.data(), mine.size()) ? 0 : 1;
            _exit(failed);
        }
    const Bytes whole[] = {HistoryWithYear(100), HistoryWithYear(101), HistoryWithYear(125)};
    int seenBroken = 0, failed = 0;
    for (int left = 2; left > 0;) {
        seenBroken += std::ranges::count(whole, ReadFileBytes(save)) == 0 ? 1 : 0;
        for (pid_t& p : writers)
            if (int status = 0; p > 0 && waitpid(p, &status, WNOHANG) == p) {
                failed += WIFEXITED(status) ? WEXITSTATUS(status) : 100;
                p = 0;
                --left;
            }
    }
    EXPECT_EQ(failed, 0) << "failed writes";
    EXPECT_EQ(seenBroken, 0);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"save.dat", "save.dat.tmp", "victim.txt"}));
}

TEST_F(PlayerFiles, ALinkedHistoryIsWrittenThroughToItsTarget)
{
    const std::string store = dir / "store";
    ASSERT_EQ(mkdir(store.c_str(), 0777), 0);
    WriteFileBytes(store + "/real.dat", HistoryWithYear(110));
    ASSERT_EQ(chmod((store + "/real.dat").c_str(), 0600), 0);
    ASSERT_EQ(symlink("store/real.dat", (dir / "save.dat").c_str()), 0);            // relative to the link
    ASSERT_EQ(symlink((dir / "save.dat").c_str(), (dir / "alias.dat").c_str()), 0); // a chain of two
    ASSERT_EQ(symlink("store/later.dat", (dir / "fresh.dat").c_str()), 0);          // a target not made yet
    ReadHistoryFile((dir / "alias.dat").c_str());
    g_history[0].time.tm_year += 1;
    ASSERT_TRUE(WriteHistoryFile((dir / "alias.dat").c_str()) && WriteHistoryFile((dir / "fresh.dat").c_str()));
    for (const char* name : {"save.dat", "alias.dat", "fresh.dat"})
        EXPECT_EQ(State(dir / name), Is(S_IFLNK, HistoryWithYear(111))) << name;
    struct stat info {};
    ASSERT_EQ(stat((store + "/real.dat").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the player's permissions stay";
    EXPECT_EQ(Listing(store), (std::set<std::string>{"later.dat", "real.dat"})) << "no temporary left beside them";
}

// A process that has come and gone: its id names no live process.
pid_t GonePid()
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

TEST_F(PlayerFiles, TemporariesOfKilledWritersGoWithTheNextWriteAndNothingElseDoes)
{
    const std::string save = dir / "save0.dat";
    const Bytes whole(1 << 22, 'w');
    // Writers killed in the middle of a save leave their temporary files behind (500
    // such kills once left 283 that nothing removed).
    for (int kill = 0; kill < 30; ++kill) {
        const pid_t writer = fork();
        if (writer == 0)
            for (;;)
                plat::WriteFileAtomically(save.c_str(), whole.data(), whole.size());
        usleep(2000 + 700 * kill);
        ::kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
    }
    // Planted beside them: what must go (true) and what must stay, as each is named and
    // made. A live process that sleeps stands for a writer still at work; it also holds
    // the lock of one file.
    const pid_t gone = GonePid();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string lockedName = ".save0.dat.tmp-" + std::to_string(gone) + "-1111111111111111";
    const pid_t live = fork();
    if (live == 0) {
        const int fd = open((dir / lockedName).c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(ready[1], "x", 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    const std::string g = std::to_string(gone);
    enum Made { File, Link, Directory, OthersFile };
    const struct {
        std::string name;
        Made made;
        bool goes;
    } planted[] = {
        {".save0.dat.tmp-" + g + "-0123456789abcdef", File, true},
        {".save0.dat.tmp-" + std::to_string(getpid()) + "-4444444444444444", File,
         true}, // this process writes nothing now
        {".save0.dat.tmp-" + std::to_string(live) + "-0123456789abcdef", File, false}, // its writer lives
        {lockedName, File, false},
        {".save0.dat.tmp-" + g + "-3333333333333333", Link, false},
        {".save0.dat.tmp-" + g + "-5555555555555555", Directory, false},
        {".save0.dat.tmp-" + g + "-6666666666666666", OthersFile, false},
        {".save1.dat.tmp-" + g + "-0123456789abcdef", File, false}, // another file's
        {".save0.dat.tmp-" + g + "-0123456789abcde", File, false},  // a name of another pattern
        {".save0.dat.tmp-" + g + "-0123456789ABCDEF", File, false},
        {".save0.dat.tmp-x" + g + "-0123456789abcdef", File, false},
        {"save0.dat.tmp", File, false},
    };
    const bool root = getuid() == 0;
    WriteFileBytes(dir / "victim.txt", {'k', 'e', 'e', 'p'});
    for (const auto& p : planted) {
        const std::string path = dir / p.name;
        if (p.made == Link)
            ASSERT_EQ(symlink((dir / "victim.txt").c_str(), path.c_str()), 0);
        if (p.made == Directory)
            ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        if (p.made == File || (p.made == OthersFile && root))
            WriteFileBytes(path, {'t'});
        if (p.made == OthersFile && root)
            ASSERT_EQ(chown(path.c_str(), kPlayer, kPlayer), 0);
    }
    // Each writer cleared what the one killed before it had left: only the last one's
    // file can still be there.
    EXPECT_LE(Listing(dir.path()).size() - std::size(planted) - 2 + (root ? 0 : 1), 1u);

    ASSERT_TRUE(plat::WriteFileAtomically(save.c_str(), whole.data(), whole.size()));
    std::set<std::string> expected = {"save0.dat", "victim.txt"};
    for (const auto& p : planted)
        if (!p.goes && (p.made != OthersFile || root))
            expected.insert(p.name);
    EXPECT_EQ(Listing(dir.path()), expected);
    EXPECT_EQ(ReadFileBytes(save), whole);
    EXPECT_EQ(ReadFileBytes(dir / "victim.txt"), (Bytes{'k', 'e', 'e', 'p'}));
    ::kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
}

TEST_F(PlayerFiles, ASaveOrHistoryNameThatIsALinkOfAnotherUsersIsNotFollowed)
{
    if (getuid() != 0)
        GTEST_SKIP() << "links of another user's need root to make";
    // Links planted by the player (kPlayer) where root's game writes, and by root where
    // the player's game writes, each toward a file its owner chose; and a link of the
    // writer's own whose target is such a link.
    WriteFileBytes(dir / "victim.txt", {'k', 'e', 'e', 'p'});
    ASSERT_EQ(chmod((dir / "victim.txt").c_str(), 0666), 0);
    ASSERT_EQ(symlink((dir / "victim.txt").c_str(), (dir / "save0.dat").c_str()), 0);
    ASSERT_EQ(lchown((dir / "save0.dat").c_str(), kPlayer, kPlayer), 0);
    ASSERT_EQ(symlink("save0.dat", (dir / "save1.dat").c_str()), 0);                 // root's own link to the player's
    ASSERT_EQ(symlink((dir / "victim.txt").c_str(), (dir / "save.dat").c_str()), 0); // root's, for the player's game
    const std::set<std::string> before = Listing(dir.path());
    const Bytes data = HistoryWithYear(120);
    for (const char* name : {"save0.dat", "save1.dat"}) {
        int error = 0;
        EXPECT_FALSE(plat::WriteFileAtomically((dir / name).c_str(), data.data(), data.size(), &error)) << name;
        EXPECT_EQ(error, plat::kForeignLink) << name;
    }
    EXPECT_EQ(RunAsPlayer(dir.path(),
                          [] {
                              g_history[0].time.tm_year = 120;
                              WriteSaveFile();
                              return 0;
                          }),
              0);
    EXPECT_NE(Err(dir.path())
                  .find("save.dat: the race history was not written: a symbolic link owned by another "
                        "user stands in its place and is not followed"),
              std::string::npos)
        << Err(dir.path());
    std::set<std::string> after = Listing(dir.path());
    after.erase("stderr.txt");
    EXPECT_EQ(after, before) << "nothing is written, not even a temporary file";
    EXPECT_EQ(ReadFileBytes(dir / "victim.txt"), (Bytes{'k', 'e', 'e', 'p'}));
}

} // namespace
