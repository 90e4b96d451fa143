// The real boxes shown with the texts a hostile FTP server or a crafted registry hands them:
// markup must come out as the very characters received, never drawn, linked or loaded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/QtNotices.h"
#include "tests/app/AnswerBox.h"

namespace orvanta::app {
namespace {

#ifdef _WIN32
// A named pipe standing for a file that never ends its first read: whoever opens it is noted
// and let go at once, so a box that tries to load it neither hangs the test nor goes unseen.
class PipeImage {
public:
    PipeImage() {
        static std::atomic<int> counter{0};
        m_path = "\\\\.\\pipe\\orvanta-box-" + std::to_string(::GetCurrentProcessId()) + "-" +
                 std::to_string(counter++);
        m_pipe = ::CreateNamedPipeA(m_path.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
        m_connected = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (m_pipe == INVALID_HANDLE_VALUE || !m_connected || !m_stop) {
            throw std::runtime_error("cannot make a named pipe");
        }
        m_watcher = std::thread([this] {
            for (;;) {
                OVERLAPPED waiting{};
                waiting.hEvent = m_connected;
                ::ResetEvent(m_connected);
                if (!::ConnectNamedPipe(m_pipe, &waiting) &&
                    ::GetLastError() != ERROR_PIPE_CONNECTED) {
                    const HANDLE events[] = {m_connected, m_stop};
                    if (::GetLastError() != ERROR_IO_PENDING ||
                        ::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
                        ::CancelIoEx(m_pipe, &waiting);
                        ::WaitForSingleObject(m_connected, 1000);
                        return;
                    }
                }
                m_opened = true;
                ::DisconnectNamedPipe(m_pipe);
            }
        });
    }
    ~PipeImage() {
        ::SetEvent(m_stop);
        m_watcher.join();
        ::CloseHandle(m_pipe);
        ::CloseHandle(m_connected);
        ::CloseHandle(m_stop);
    }
    PipeImage(const PipeImage&) = delete;
    PipeImage& operator=(const PipeImage&) = delete;

    const std::string& Path() const { return m_path; }
    bool Opened() const { return m_opened; }

private:
    std::string m_path;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    HANDLE m_connected = nullptr;
    HANDLE m_stop = nullptr;
    std::atomic<bool> m_opened{false};
    std::thread m_watcher;
};
#else
// A named pipe standing for "/dev/stdin": whoever opens it to read blocks until a writer
// comes. A watcher opens it for writing as soon as a reader waits, notes that, and lets the
// reader go, so a box that tries to load it neither hangs the test nor goes unseen.
class PipeImage {
public:
    PipeImage() {
        char folder[] = "/tmp/orvanta-box-XXXXXX";
        if (!::mkdtemp(folder)) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        m_folder = folder;
        m_path = m_folder + "/image.png";
        if (::mkfifo(m_path.c_str(), 0600) != 0) {
            throw std::runtime_error("cannot make a named pipe");
        }
        m_watcher = std::thread([this] {
            std::unique_lock<std::mutex> lock(m_mutex);
            while (!m_stop) {
                // Without a reader this fails at once (ENXIO).
                const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    m_opened = true;
                    ::close(fd);
                }
                m_wake.wait_for(lock, std::chrono::milliseconds(5), [this] { return m_stop; });
            }
        });
    }
    ~PipeImage() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_watcher.join();
        ::unlink(m_path.c_str());
        ::rmdir(m_folder.c_str());
    }
    PipeImage(const PipeImage&) = delete;
    PipeImage& operator=(const PipeImage&) = delete;

    const std::string& Path() const { return m_path; }
    bool Opened() const { return m_opened; }

private:
    std::string m_folder;
    std::string m_path;
    std::atomic<bool> m_opened{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_watcher;
};
#endif

// What the box showed, read while it was open.
struct Shown {
    bool seen = false;
    Qt::TextFormat format = Qt::AutoText;
    QString text;
    int labelHeight = 0;
    int lineHeight = 0;
};

// Runs one box call and reads the label its box showed.
Shown ShowAndRead(const std::function<void()>& call) {
    Shown shown;
    AnswerBox(call, [&](QMessageBox& box) {
        const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (label) {
            shown.seen = true;
            shown.format = label->textFormat();
            shown.text = label->text();
            shown.labelHeight = label->sizeHint().height();
            shown.lineHeight = label->fontMetrics().lineSpacing();
        }
    });
    return shown;
}

struct BoxKind {
    const char* name;
    std::function<void(QtNotices&, const std::string&)> show;
};

void PrintTo(const BoxKind& kind, std::ostream* out) {
    *out << kind.name;
}

class PlainTextBoxTest : public ::testing::TestWithParam<BoxKind> {};

TEST_P(PlainTextBoxTest, markupFromAPeerShowsAsTheCharactersReceived) {
    PipeImage image;
    const std::string texts[] = {
        // A fake success drawn over the real failure.
        "530 <font color='red' size='7'><b>Caricamento completato</b></font>",
        // A box taller than the screen, its OK button out of reach.
        "530 <table height='3000'><tr><td>x</td></tr></table>",
        // A link the desktop's opener would follow.
        "530 <a href='file:///etc/passwd'>dettagli</a>",
        // An image read from a file that never ends its first read ("/dev/stdin").
        "530 <img src='" + image.Path() + "'>",
        "530 <img src='file://" + image.Path() + "' width='4000' height='4000'>",
    };
    QtNotices notices;
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const Shown shown = ShowAndRead([&] { GetParam().show(notices, text); });
        ASSERT_TRUE(shown.seen);
        EXPECT_EQ(shown.format, Qt::PlainText);
        EXPECT_EQ(shown.text, QString::fromLatin1(text.data(), static_cast<int>(text.size())));
        // A few wrapped lines of text at most; never a drawn table or picture.
        EXPECT_LE(shown.labelHeight, 10 * shown.lineHeight);
    }
    EXPECT_FALSE(image.Opened());
}

INSTANTIATE_TEST_SUITE_P(
    EveryBox, PlainTextBoxTest,
    ::testing::Values(
        BoxKind{"error", [](QtNotices& n, const std::string& t) { n.ShowError(t); }},
        BoxKind{"message", [](QtNotices& n, const std::string& t) { n.ShowMessage(t); }},
        BoxKind{"warning", [](QtNotices& n, const std::string& t) { n.ShowWarning(t); }},
        BoxKind{"yesNo", [](QtNotices& n, const std::string& t) { n.AskYesNo(t); }}),
    [](const ::testing::TestParamInfo<BoxKind>& info) { return info.param.name; });

}  // namespace
}  // namespace orvanta::app
