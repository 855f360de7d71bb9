// Files a player's machine may hold in odd states: a history that cannot be read, links,
// FIFOs, full disks, two games at once; damaged sound blocks; start-up failures that must
// say why; and a closed terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "app/headless.h"
#include "board/world.h"
#include "engine/archive.h"
#include "engine/sound.h"
#include "engine/startup_note.h"
#include "engine/task.h"
#include "engine/wave.h"
#include "persist/history.h"
#include "platform/audio.h"
#include "platform/backends.h"
#include "platform/files.h"
#include "platform/msgbox.h"
#include "platform/window.h"
#include "test_sound_waves.h"
#include "test_support.h"

using test_support::Bytes;
using test_support::Listing;
using test_support::ReadFileBytes;
using test_support::TempDir;
using test_support::WriteFileBytes;

namespace {

constexpr uid_t kPlayer = 65534; // an ordinary user for the permission cases when run as root

std::string ReadText(const std::string& path)
{
    Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

// A history image whose first entry carries `year`.
Bytes HistoryWithYear(int32_t year)
{
    Bytes b(520, 0);
    test_support::PutU32(b, 0, uint32_t(year));
    return b;
}

// Runs fn in a child process in dir, as an ordinary user (root passes every permission
// check, so a root run drops to kPlayer), with its stderr in dir/"stderr.txt". A child
// that blocks is ended by an alarm instead of hanging the suite. Returns the exit code,
// or 200 + the signal that ended it.
int RunAsPlayer(const std::string& dir, const std::function<int()>& fn)
{
    const std::string errPath = dir + "/stderr.txt";
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0 || dup2(fd, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(90);
        alarm(10);
        if (getuid() == 0 && (setgid(kPlayer) != 0 || setuid(kPlayer) != 0))
            _exit(91);
        _exit(fn());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

class SecondPassFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
        chmod(dir.path().c_str(), 0777); // the player of RunAsPlayer works in here
    }
    std::string Err() const { return ReadText(dir / "stderr.txt"); }
    TempDir dir;
};

// The start-up read and the shutdown write, as the game does them.
int ReadThenWriteHistory()
{
    LoadHistory();
    WriteSaveFile();
    return 0;
}

TEST_F(SecondPassFiles, AHistoryThatCannotBeReadIsNeverOverwritten)
{
    const std::string save = dir / "save.dat";
    const Bytes old = HistoryWithYear(120);

    // The player's own file, left write-only: readable it is not, writable it is.
    WriteFileBytes(save, old);
    ASSERT_EQ(chown(save.c_str(), getuid() == 0 ? kPlayer : getuid(), static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chmod(save.c_str(), 0200), 0);
    EXPECT_EQ((std::tuple{RunAsPlayer(dir.path(), ReadThenWriteHistory), ReadFileBytes(save)}), std::make_tuple(0, old));
    EXPECT_NE(Err().find("save.dat: the race history was not read: Permission denied"), std::string::npos) << Err();
    EXPECT_NE(Err().find("save.dat: the race history was not written"), std::string::npos) << Err();

    // Another user's 0600 file (left by a run under that user).
    if (getuid() == 0) {
        ASSERT_EQ(chown(save.c_str(), 0, -1), 0);
        ASSERT_EQ(chmod(save.c_str(), 0600), 0);
        EXPECT_EQ(RunAsPlayer(dir.path(), ReadThenWriteHistory), 0);
        EXPECT_EQ(ReadFileBytes(save), old);
        EXPECT_NE(Err().find("was not written"), std::string::npos) << Err();
    }
    unlink(save.c_str());

    // A directory and a FIFO in its place: refused at once, and still there afterwards.
    ASSERT_EQ(mkdir(save.c_str(), 0777), 0);
    EXPECT_EQ(RunAsPlayer(dir.path(), ReadThenWriteHistory), 0);
    struct stat info {};
    EXPECT_TRUE(stat(save.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    EXPECT_NE(Err().find("not read: not a regular file"), std::string::npos) << Err();
    rmdir(save.c_str());

    ASSERT_EQ(mkfifo(save.c_str(), 0666), 0);
    EXPECT_EQ(RunAsPlayer(dir.path(), ReadThenWriteHistory), 0); // 214 would be the alarm
    EXPECT_TRUE(stat(save.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    EXPECT_NE(Err().find("was not written"), std::string::npos) << Err();
    unlink(save.c_str());

    // No file at all is no error: the next write makes one, and stderr stays quiet.
    EXPECT_EQ((std::tuple{RunAsPlayer(dir.path(), ReadThenWriteHistory), ReadFileBytes(save), Err()}),
              std::make_tuple(0, Bytes(520, 0), ""));
}

TEST_F(SecondPassFiles, AtomicWritesUseTheirOwnTemporaryFileAndFollowNothingPlanted)
{
    const std::string save = dir / "save.dat";
    const std::string victim = dir / "victim.txt";
    WriteFileBytes(victim, {'k', 'e', 'e', 'p'});
    // The temporary name of older builds, planted as a link to another file.
    ASSERT_EQ(symlink(victim.c_str(), (dir / "save.dat.tmp").c_str()), 0);
    g_history[0].time.tm_year = 125;
    ASSERT_TRUE(WriteHistoryFile(save.c_str()));
    EXPECT_EQ(ReadFileBytes(victim), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(ReadFileBytes(save), HistoryWithYear(125));
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"save.dat", "save.dat.tmp", "victim.txt"}));

    // Two games writing at once: every write succeeds and the file always holds one
    // whole history, never an empty or half one.
    constexpr int kWrites = 60;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        if (writers[w] == 0) {
            const Bytes mine = HistoryWithYear(100 + w);
            int failed = 0;
            for (int i = 0; i < kWrites; ++i)
                failed += plat::WriteFileAtomically(save.c_str(), mine.data(), mine.size()) ? 0 : 1;
            _exit(failed);
        }
    }
    const std::set<Bytes> whole = {HistoryWithYear(100), HistoryWithYear(101), HistoryWithYear(125)};
    int seenBroken = 0;
    for (int running = 2; running > 0;) {
        if (whole.count(ReadFileBytes(save)) == 0)
            ++seenBroken;
        running = 0;
        for (pid_t p : writers)
            running += kill(p, 0) == 0 && waitpid(p, nullptr, WNOHANG) == 0 ? 1 : 0;
    }
    for (pid_t p : writers) {
        int status = 0;
        waitpid(p, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed writes: " << WEXITSTATUS(status);
    }
    EXPECT_EQ(seenBroken, 0);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"save.dat", "save.dat.tmp", "victim.txt"}));
}

TEST_F(SecondPassFiles, ALinkedHistoryIsWrittenThroughToItsTarget)
{
    const std::string store = dir / "store";
    ASSERT_EQ(mkdir(store.c_str(), 0777), 0);
    const std::string real = store + "/real.dat";
    WriteFileBytes(real, HistoryWithYear(110));
    ASSERT_EQ(chmod(real.c_str(), 0600), 0);
    ASSERT_EQ(symlink("store/real.dat", (dir / "save.dat").c_str()), 0); // relative to the link
    ASSERT_EQ(symlink((dir / "save.dat").c_str(), (dir / "alias.dat").c_str()), 0); // a chain of two

    ReadHistoryFile((dir / "alias.dat").c_str());
    EXPECT_EQ(g_history[0].time.tm_year, 110);
    g_history[0].time.tm_year = 111;
    ASSERT_TRUE(WriteHistoryFile((dir / "alias.dat").c_str()));
    struct stat info {};
    ASSERT_EQ(lstat((dir / "save.dat").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(lstat((dir / "alias.dat").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u); // the player's permissions stay
    EXPECT_EQ(ReadFileBytes(real), HistoryWithYear(111));
    EXPECT_EQ(Listing(store), (std::set<std::string>{"real.dat"})); // no temporary left beside it

    // A link to a file not made yet: the write makes the target.
    ASSERT_EQ(symlink("store/later.dat", (dir / "fresh.dat").c_str()), 0);
    ASSERT_TRUE(WriteHistoryFile((dir / "fresh.dat").c_str()));
    EXPECT_EQ(ReadFileBytes(store + "/later.dat"), HistoryWithYear(111));

    // A target the player may not write is left alone, link and all, and stderr says so.
    if (getuid() == 0) {
        ASSERT_EQ(chmod(real.c_str(), 0644), 0); // root's, readable by all
        ASSERT_EQ(chmod(store.c_str(), 0777), 0); // the directory alone would let it be replaced
        EXPECT_EQ(RunAsPlayer(dir.path(), [] {
                      LoadHistory();
                      g_history[0].time.tm_year = 112; // a race was added
                      WriteSaveFile();
                      return 0;
                  }),
                  0);
        EXPECT_EQ(ReadFileBytes(real), HistoryWithYear(111));
        ASSERT_EQ(lstat((dir / "save.dat").c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode));
        EXPECT_NE(Err().find("save.dat: the race history was not written: Permission denied; the previous file is kept"),
                  std::string::npos)
            << Err();
    }
}

TEST_F(SecondPassFiles, AFailedWriteIsSaidAndTheOldFileStays)
{
    const std::string save = dir / "save.dat";
    const Bytes old = HistoryWithYear(105);
    WriteFileBytes(save, old);
    ASSERT_EQ(chmod(save.c_str(), 0666), 0);

    // A full disk: the file size limit refuses the write as a full disk would.
    int code = RunAsPlayer(dir.path(), [] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        g_history[0].time.tm_year = 106;
        WriteSaveFile();
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(save), old);
    EXPECT_NE(Err().find("save.dat: the race history was not written: File too large; the previous file is kept"),
              std::string::npos)
        << Err();
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"save.dat", "stderr.txt"}));

    // A directory the player may not write in.
    if (getuid() == 0) {
        const std::string locked = dir / "locked";
        ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
        WriteFileBytes(locked + "/save.dat", old);
        ASSERT_EQ(chmod((locked + "/save.dat").c_str(), 0666), 0);
        EXPECT_EQ(RunAsPlayer(dir.path(), [] {
                      if (chdir("locked") != 0)
                          return 1;
                      WriteSaveFile();
                      return 0;
                  }),
                  0);
        EXPECT_EQ(ReadFileBytes(locked + "/save.dat"), old);
        EXPECT_NE(Err().find("not written: Permission denied"), std::string::npos) << Err();
    }
}

// Opens never wait: a FIFO (whose open would wait for a writer) or a device in place of
// the archive or the history is refused at once.
TEST_F(SecondPassFiles, AFifoOrDeviceInPlaceOfAFileIsRefusedAtOnce)
{
    ASSERT_EQ(mkfifo((dir / "data.dat").c_str(), 0666), 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0666), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir / "device.dat").c_str()), 0);
    int code = RunAsPlayer(dir.path(), [] {
        uint8_t buffer[16];
        int error = 0;
        if (plat::ReadFilePrefix("pipe", buffer, sizeof(buffer), &error) != -1 || error != plat::kNotARegularFile)
            return 1;
        if (plat::ReadFilePrefix("device.dat", buffer, sizeof(buffer), &error) != -1 || error != plat::kNotARegularFile)
            return 2;
        ClearStartupFailureNote();
        if (LoadDataFile() != 0 || LoadDataFileFrom("device.dat") != 0)
            return 3;
        std::fprintf(stderr, "%s\n", StartupFailureNote());
        return 0;
    });
    EXPECT_EQ(code, 0) << "214 is the alarm: an open waited";
    EXPECT_NE(Err().find("data.dat: not a regular file"), std::string::npos) << Err();
}

TEST(SecondPassSound, RatesOutsideTheRangeAreRefusedAndLongSoundsCut)
{
    using soundtest::Fmt;
    using soundtest::Wave;
    const Bytes four = {1, 2, 3, 4};
    for (uint32_t rate : {7999u, 96001u, 1u, 4000000000u}) {
        Bytes image = Wave().Chunk("fmt ", Fmt(1, rate, 16)).Chunk("data", four).Image();
        WaveFormat format{};
        const uint8_t* samples = nullptr;
        uint32_t bytes = 0;
        const char* why = nullptr;
        EXPECT_EQ(FindWaveChunks(image.data(), uint32_t(image.size()), &format, &samples, &bytes, &why), 0) << rate;
        EXPECT_STREQ(why, "the sample rate is outside 8000 to 96000 Hz");
        EXPECT_EQ(plat::CreateStaticBuffer({1, 16, rate}, four.data(), 4), nullptr) << rate;
    }

    ASSERT_EQ(plat::OpenAudioOutput(), 1); // the silent output unless a test selected the device
    // 200 s at 8,000 Hz would be 8,820,000 frames at 44,100 Hz: kept to three minutes.
    bool cut = false;
    Bytes samples(8000 * 200, 0x90);
    plat::SoundBuffer* longOne = plat::CreateStaticBuffer({1, 8, 8000}, samples.data(), uint32_t(samples.size()), &cut);
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(plat::BufferFrames(longOne), 7938000u);
    EXPECT_TRUE(cut);
    samples.resize(8000 * 179);
    plat::SoundBuffer* shorter = plat::CreateStaticBuffer({1, 8, 8000}, samples.data(), uint32_t(samples.size()), &cut);
    EXPECT_EQ(plat::BufferFrames(shorter), 7893900u);
    EXPECT_FALSE(cut);
    plat::CloseAudioOutput();
}

// Builds an archive holding the 24 waves (effect 3 optionally at a rate out of range)
// and, when given, the atlas block.
Bytes ArchiveWithWaves(uint32_t effect3Rate, const Bytes& atlas)
{
    test_support::ArchiveImage archive;
    const Bytes good = soundtest::MonoWave16({1, 2, 3, 4}, 22050);
    for (int i = 0; i < 24; ++i)
        archive.Add(126 + i, i == 3 ? soundtest::MonoWave16({1, 2}, effect3Rate) : good);
    if (!atlas.empty())
        archive.Add(0, atlas);
    return archive.Bytes();
}

class SecondPassStartup : public ::testing::Test {
protected:
    void TearDown() override
    {
        plat::SetMessageBoxObserver(nullptr);
        HeadlessStop();
    }
    // Starts headless in dir and returns what went to stderr.
    std::string StartAndCapture()
    {
        testing::internal::CaptureStderr();
        EXPECT_EQ(HeadlessStart(dir.path().c_str()), 0);
        return testing::internal::GetCapturedStderr();
    }
    TempDir dir;
};

TEST_F(SecondPassStartup, FailuresSayWhichBlockFailedAndWhyBesideTheBoxText)
{
    const struct {
        std::function<void(const std::string&)> prepare;
        const char* reason;
        const char* box;
    } cases[] = {
        {[](const std::string&) {}, "data.dat: No such file or directory\n", "data load failed"},
        {[](const std::string& d) { WriteFileBytes(d + "/data.dat", Bytes(599, 0)); },
         "data.dat: 599 bytes, shorter than its 600-byte offset table\n", "data load failed"},
        {[](const std::string& d) { WriteFileBytes(d + "/data.dat", ArchiveWithWaves(4000, {})); },
         "sound effect 3 (data.dat block 129): the sample rate is outside 8000 to 96000 Hz\n", "direct sound error"},
        {[](const std::string& d) {
             Bytes archive = ArchiveWithWaves(22050, {});
             test_support::PutU32(archive, 4 * 127, 0xFFFFFF00u); // effect 1 lies past the end
             WriteFileBytes(d + "/data.dat", archive);
         },
         "sound effect 1 (data.dat block 127): the block lies outside data.dat\n", "direct sound error"},
        {[](const std::string& d) { WriteFileBytes(d + "/data.dat", ArchiveWithWaves(22050, {'B', 'M', 1, 2})); },
         "texture (data.dat block 0): ", "direct graphics error"},
    };
    for (const auto& c : cases) {
        unlink((dir / "data.dat").c_str());
        c.prepare(dir.path());
        const std::string err = StartAndCapture();
        EXPECT_EQ(HeadlessLastMessage(), std::string(c.box));
        // The reason comes first, then the box text on a line of its own.
        const size_t reason = err.find(c.reason);
        EXPECT_NE(reason, std::string::npos) << err;
        EXPECT_NE(err.find(std::string(c.box) + "\n", reason), std::string::npos) << err;
    }
}

TEST(SecondPassSoundOutput, AnOutputThatWillNotOpenGivesSdlsReason)
{
    // In a child: the driver choice stays out of this process.
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        plat::SelectAudioBackend(plat::AudioBackend::Device);
        ClearStartupFailureNote();
        if (InitSound(nullptr) != 0)
            _exit(1);
        const std::string note = StartupFailureNote();
        // SDL names the driver it could not find.
        _exit(note.rfind("sound output: ", 0) == 0 && note.size() > 14 && std::string(plat::LastAudioError()) != "" ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// What existed while the failure box was shown.
struct AtTheBox { bool seen = false; bool window = false; bool pool = false; bool archive = false; };
AtTheBox s_atTheBox;

void LookAtTheGame(const char*)
{
    s_atTheBox = {true, plat::MainWindow() != nullptr, g_tasks != nullptr, g_dataFile != nullptr};
}

// The box shows while the window and all that was taken still exist; the undo steps
// then give everything back, and the window goes last.
TEST_F(SecondPassStartup, TheFailureBoxShowsBeforeTheUndoStepsAndTheWindowGoesAfterThem)
{
    if (!plat::InitVideo("VARDUN"))
        GTEST_SKIP() << "no video driver: " << plat::LastVideoError();
    WriteFileBytes(dir / "data.dat", ArchiveWithWaves(4000, {}));
    void* window = plat::CreateMainWindow("test", 0, 0, 640, 480);
    ASSERT_NE(window, nullptr);
    char home[4096];
    ASSERT_NE(getcwd(home, sizeof(home)), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    plat::SelectGfxBackend(plat::GfxBackend::Recording);
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    plat::RecordMessageBoxes(true);
    plat::SetMessageBoxObserver(LookAtTheGame);
    s_atTheBox = {};

    testing::internal::CaptureStderr();
    EXPECT_EQ(InitGame(window), 0);
    testing::internal::GetCapturedStderr();
    plat::RecordMessageBoxes(false);
    ASSERT_EQ(chdir(home), 0);

    EXPECT_EQ(plat::LastMessageBoxText(), "direct sound error");
    EXPECT_TRUE(s_atTheBox.seen && s_atTheBox.window && s_atTheBox.pool && s_atTheBox.archive)
        << s_atTheBox.window << s_atTheBox.pool << s_atTheBox.archive;
    EXPECT_TRUE(plat::MainWindow() == nullptr && g_tasks == nullptr && g_dataFile == nullptr);
    plat::QuitVideo();
}

} // namespace
