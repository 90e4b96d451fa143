// A group larger than the usual soft limit of open files, and a program that has used up every
// descriptor it may have: players still connect, and the error box still has descriptors to
// be drawn with.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/QtNotices.h"
#include "core/Descriptors.h"
#include "core/Dispatch.h"
#include "link/TForm1.h"
#include "tests/app/AnswerBox.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/RecordingDoubles.h"

namespace orvanta::app {
namespace {

#ifdef _WIN32
TEST(DescriptorLimitTest, theLimitOfOpenFilesIsPosixOnly) {
    GTEST_SKIP() << "Windows has no soft limit of open files to raise nor descriptors to hold "
                    "back (core/DescriptorsWin32.cpp does nothing)";
}
#else
// Sets the process's soft limit of open files for the test and puts the old one back after.
class SoftLimit {
public:
    SoftLimit() { ::getrlimit(RLIMIT_NOFILE, &m_saved); }
    ~SoftLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }
    SoftLimit(const SoftLimit&) = delete;
    SoftLimit& operator=(const SoftLimit&) = delete;

    bool Set(rlim_t soft) {
        rlimit limit = m_saved;
        limit.rlim_cur = soft;
        return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
    }
    static rlimit Current() {
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        return limit;
    }
    rlim_t Hard() const { return m_saved.rlim_max; }

private:
    rlimit m_saved{};
};

// Descriptors opened until the system refuses; closed again at the end.
class Exhaustion {
public:
    Exhaustion() {
        for (;;) {
            const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                m_error = errno;
                break;
            }
            m_fds.push_back(fd);
        }
    }
    ~Exhaustion() {
        for (int fd : m_fds) {
            ::close(fd);
        }
    }
    Exhaustion(const Exhaustion&) = delete;
    Exhaustion& operator=(const Exhaustion&) = delete;
    int Error() const { return m_error; }

private:
    std::vector<int> m_fds;
    int m_error = 0;
};

// How many descriptors can be opened right now (up to `most`); all closed again.
int FreeDescriptors(int most) {
    std::vector<int> fds;
    while (static_cast<int>(fds.size()) < most) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            break;
        }
        fds.push_back(fd);
    }
    for (int fd : fds) {
        ::close(fd);
    }
    return static_cast<int>(fds.size());
}

// The highest descriptor the process has open now.
int HighestOpenDescriptor() {
    int highest = 2;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        highest = std::max(highest, std::atoi(entry.path().filename().c_str()));
    }
    return highest;
}

class DescriptorLimitTest : public ::testing::Test {
protected:
    std::unique_ptr<link::TForm1> ConnectedLink(test::LoopbackPeer& player) {
        auto form = std::make_unique<link::TForm1>(
            link::LinkEnvironment{m_notices, m_effects, [] { return std::string(); }});
        form->Timer1.stop();
        form->edServer.Text = "127.0.0.1";
        form->sePort.SetValue(player.Port());
        RunGuarded(m_notices, [&] { form->BtnConnectClick(); });
        return form;
    }

    test::RecordingNotices m_notices;
    test::RecordingEffects m_effects;
};

TEST_F(DescriptorLimitTest, sixHundredPlayersConnectFromASoftLimitOf1024) {
    constexpr int kPlayers = 600;
    SoftLimit limit;
    // Each player here costs two descriptors: the link's and the loopback player's own.
    if (limit.Hard() < 2 * kPlayers + 256 || !limit.Set(1024)) {
        GTEST_SKIP() << "the hard limit of open files is too low to show it";
    }
    RaiseOpenFileLimit();
    EXPECT_EQ(SoftLimit::Current().rlim_cur, limit.Hard());

    test::LoopbackPeer player;
    std::vector<std::unique_ptr<link::TForm1> > links;
    for (int i = 0; i < kPlayers && m_notices.errors.empty(); ++i) {
        links.push_back(ConnectedLink(player));
    }
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{});
    EXPECT_TRUE(player.WaitForConnections(kPlayers));
    EXPECT_EQ(player.ConnectionCount(), kPlayers);
}

TEST_F(DescriptorLimitTest, outOfDescriptorsTheConnectFailsWith10024AndTheBoxGetsTheReserve) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers test whether memory is readable through a pipe of their own; with every
    // descriptor taken they report sound objects as broken.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    SoftLimit limit;
    // A little room above what the process holds, so running out is quick.
    ASSERT_TRUE(limit.Set(static_cast<rlim_t>(HighestOpenDescriptor() + 200)));
    test::LoopbackPeer player;
    DescriptorReserve reserve;
    ASSERT_EQ(reserve.Held(), DescriptorReserve::kSize);
    QtNotices notices(reserve);
    {
        Exhaustion everyOther;
        ASSERT_EQ(everyOther.Error(), EMFILE);

        auto form = ConnectedLink(player);
        EXPECT_EQ(m_notices.errors,
                  std::vector<std::string>{"Socket Error # 10024\r\nToo many open files."});

        // The real box, while it is open, has the reserve's descriptors to draw with.
        int freeWhileOpen = -1;
        bool shown = false;
        AnswerBox([&] { notices.ShowError(m_notices.errors.front()); },
                  [&](QMessageBox&) {
                      shown = true;
                      freeWhileOpen = FreeDescriptors(DescriptorReserve::kSize);
                  });
        EXPECT_TRUE(shown);
        EXPECT_GE(freeWhileOpen, DescriptorReserve::kSize / 2);
        // Closed, the box gives them back to the reserve for the next one.
        EXPECT_EQ(reserve.Held(), DescriptorReserve::kSize);
        EXPECT_EQ(FreeDescriptors(1), 0);
    }
}
#endif

}  // namespace
}  // namespace orvanta::app
