// The registry file as other programs may leave it: locked during a save, not a database at
// all, or holding group names made to break out of their literal. The operator reads the
// driver's message; nothing is lost or run that was not meant to be.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QToolButton>

#ifdef _WIN32
#include <sqlite3.h>
#else
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>

#include "core/Dispatch.h"
#include "registry/widgets/IpAddressEdit.h"
#include "tests/registry_ui/ManagerWindowFixture.h"
#ifndef _WIN32
#include "tests/support/OdbcLists.h"
#endif

namespace orvanta::faults {
namespace {

using db::DatasetState;
using registry::ui::test::ManagerWindowFixture;

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32
// Another connection holding the registry file with BEGIN EXCLUSIVE until it is released.
// Windows locks a file's bytes per open handle, so a connection of this process keeps the
// manager's out just as another program's would.
class ExclusiveHolder {
public:
    explicit ExclusiveHolder(const std::filesystem::path& file) {
        if (::sqlite3_open(test::Utf8Path(file).c_str(), &m_db) != SQLITE_OK ||
            ::sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            Release();
            throw std::runtime_error("the other connection could not lock the file");
        }
    }
    ~ExclusiveHolder() { Release(); }
    ExclusiveHolder(const ExclusiveHolder&) = delete;
    ExclusiveHolder& operator=(const ExclusiveHolder&) = delete;

    // Ends the transaction and the connection.
    void Release() {
        if (m_db != nullptr) {
            ::sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
            ::sqlite3_close(m_db);
            m_db = nullptr;
        }
    }

private:
    sqlite3* m_db = nullptr;
};
#else
// Another program holding the registry file with BEGIN EXCLUSIVE until it is released.
class ExclusiveHolder {
public:
    explicit ExclusiveHolder(const std::filesystem::path& file) {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) {
            throw std::runtime_error("cannot make pipes");
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::close(toChild[1]);
            ::close(fromChild[0]);
            const char* script =
                "import sqlite3, sys\n"
                "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                "db.execute('BEGIN EXCLUSIVE')\n"
                "print('locked', flush=True)\n"
                "sys.stdin.read()\n"
                "db.execute('COMMIT')\n";
            ::execlp("python3", "python3", "-c", script, file.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        m_toChild = toChild[1];
        m_fromChild = fromChild[0];
        // Bounded wait for the lock to be held.
        std::string said;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (said.find("locked\n") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_fromChild, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char chunk[64];
                const ssize_t n = ::read(m_fromChild, chunk, sizeof chunk);
                if (n <= 0) {
                    break;
                }
                said.append(chunk, static_cast<std::size_t>(n));
            }
        }
        if (said.find("locked\n") == std::string::npos) {
            Release();
            throw std::runtime_error("the other program could not lock the file");
        }
    }
    ~ExclusiveHolder() { Release(); }
    ExclusiveHolder(const ExclusiveHolder&) = delete;
    ExclusiveHolder& operator=(const ExclusiveHolder&) = delete;

    // Ends the transaction; the program exits.
    void Release() {
        if (m_pid <= 0) {
            return;
        }
        ::close(m_toChild);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        ::close(m_fromChild);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
};
#endif

class RegistryFileFaultTest : public ManagerWindowFixture {};

TEST_F(RegistryFileFaultTest, fileLockedDuringSaveShowsTheDriverMessageAndALaterSaveStoresTheRow) {
    AddPlayer("Sala", "10.0.0.1", 7001, true, "/media/uno.mp4");
    Open();
    ChooseGroup("Sala");
    DoubleClickRow(0);
    Window().JvIPAddress1->setText("10.0.0.99");
    {
        ExclusiveHolder other(m_file);
        Window().JvImgBtn1->click();  // "&Salva"
    }
    EXPECT_EQ(m_notices.errors,
              std::vector<std::string>{"[AnyDAC][Phys][ODBC]database is locked."});
    // The row stays pending, with the panel open over a disabled grid, as the operator left it.
    EXPECT_EQ(Window().Store().qfiles.State(), DatasetState::Edit);
    EXPECT_TRUE(Window().JvPanel2->isVisible());
    EXPECT_FALSE(Window().playlistdb->isEnabled());
    EXPECT_EQ(Stored("SELECT player_ip FROM manager"), std::vector<std::string>{"10.0.0.1"});

    Window().JvImgBtn1->click();
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(Stored("SELECT player_ip FROM manager"), std::vector<std::string>{"10.0.0.99"});
    EXPECT_EQ(Stored("SELECT count(*) FROM manager"), std::vector<std::string>{"1"});
    EXPECT_FALSE(Window().JvPanel2->isVisible());
    EXPECT_TRUE(Window().playlistdb->isEnabled());
    EXPECT_EQ(GridColumn(), std::vector<std::string>{"10.0.0.99"});
}

TEST_F(RegistryFileFaultTest, newRowRefusedByALockedFileIsStoredOnceByALaterSave) {
    AddPlayer("Sala", "10.0.0.1", 7001, true, "/media/uno.mp4");
    Open();
    ChooseGroup("Sala");
    QTest::mouseClick(Window().JvBitBtn3, Qt::LeftButton);  // "&Aggiungi lettore"
    Window().JvIPAddress1->setText("10.0.0.2");
    {
        ExclusiveHolder other(m_file);
        Window().JvImgBtn1->click();
    }
    EXPECT_EQ(m_notices.errors,
              std::vector<std::string>{"[AnyDAC][Phys][ODBC]database is locked."});
    EXPECT_EQ(Window().Store().qfiles.State(), DatasetState::Insert);

    Window().JvImgBtn1->click();
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(Stored("SELECT player_ip FROM manager ORDER BY id"),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
}

// Another program's registry: no key, so two identical players are found by the same values.
class KeylessRegistryTest : public ManagerWindowFixture {
protected:
    KeylessRegistryTest() {
        orvanta::test::ExecSql(m_file,
                               "DROP TABLE manager;"
                               "CREATE TABLE manager (attivo BOOLEAN, manager_list_name "
                               "VARCHAR(255), player_ip VARCHAR(255), player_port INTEGER, "
                               "player_file_play VARCHAR(255))");
        AddPlayer("Sala", "10.0.0.1", 7001, false, "/media/uno.mp4");
        AddPlayer("Sala", "10.0.0.1", 7001, false, "/media/uno.mp4");
    }
};

TEST_F(KeylessRegistryTest, commandsReachingBothTwinsShowTheCountAndChangeNothing) {
    Open();
    ChooseGroup("Sala");
    QTest::mouseClick(Window().JvBitBtn6, Qt::LeftButton);  // "Attiva lettore"
    QTest::mouseClick(Window().JvBitBtn4, Qt::LeftButton);  // "Rimuovi lettore"
    const std::string reasons =
        " instead of [1] record.\r\nPossible reasons: update table does not have PK or row "
        "identifier,\r\nrecord has been changed/deleted by another user.";
    EXPECT_EQ(m_notices.errors,
              (std::vector<std::string>{
                  ErrorBoxText("[AnyDAC][DApt]-400. Update command updated [2]" + reasons),
                  ErrorBoxText("[AnyDAC][DApt]-400. Delete command deleted [2]" + reasons)}));
    EXPECT_EQ(Stored("SELECT attivo FROM manager"), (std::vector<std::string>{"0", "0"}));
}

TEST_F(RegistryFileFaultTest, managerThatIsAViewRefusesActivationWithAnError) {
    AddPlayer("Sala", "10.0.0.1", 7001, false, "/media/uno.mp4");
    orvanta::test::ExecSql(m_file,
                           "ALTER TABLE manager RENAME TO lettori;"
                           "CREATE VIEW manager AS SELECT * FROM lettori;");
    Open();
    ChooseGroup("Sala");
    QTest::mouseClick(Window().JvBitBtn6, Qt::LeftButton);  // "Attiva lettore"
    EXPECT_EQ(m_notices.errors,
              std::vector<std::string>{"[AnyDAC][Phys]-330. Update table undefined."});
    EXPECT_EQ(Stored("SELECT attivo FROM lettori"), std::vector<std::string>{"0"});
}

struct NotADatabase {
    const char* name;
    std::string bytes;
    std::string driverMessage;  // after "[AnyDAC][Phys][ODBC]"; the path follows where shown
    bool pathInMessage;
};

void PrintTo(const NotADatabase& bad, std::ostream* out) {
    *out << bad.name;
}

class NotADatabaseTest : public ManagerWindowFixture,
                         public ::testing::WithParamInterface<NotADatabase> {};

TEST_P(NotADatabaseTest, startShowsTheDriverMessageLeavesTheFileAsItIsAndAReloadRecovers) {
    const NotADatabase& bad = GetParam();
    // A file that is no SQLite database goes to the driver manager; the test's own driver list
    // has no Access driver.
#ifdef _WIN32
    if (bad.name == std::string("text")) {
        GTEST_SKIP() << "a file that is no SQLite file goes to Windows' driver manager and its "
                        "Access driver, whose message is theirs (under wine, the host's unixODBC "
                        "answers with the system's driver list)";
    }
#else
    test::UseTestOdbcLists({});
#endif
    AddPlayer("Sala", "10.0.0.1", 7001, true, "/media/uno.mp4");
    const std::string registry = ReadBytes(m_file);
    std::filesystem::remove(m_file);
    { std::ofstream(m_file, std::ios::binary) << bad.bytes; }

    Open();
    const std::string message = "[AnyDAC][Phys][ODBC]" + bad.driverMessage +
                                (bad.pathInMessage ? " '" + m_file.string() + "'" : "");
    EXPECT_EQ(m_notices.errors, std::vector<std::string>{ErrorBoxText(message)});
    EXPECT_TRUE(Window().isVisible());
    EXPECT_TRUE(GridColumn().empty());
    // Whatever the file is, the manager writes nothing into it.
    EXPECT_TRUE(ReadBytes(m_file) == bad.bytes);

    // The right file put back, "Aggiorna gruppi" finds its groups.
    { std::ofstream(m_file, std::ios::binary | std::ios::trunc) << registry; }
    QTest::mouseClick(Window().JvBitBtn2, Qt::LeftButton);
    EXPECT_EQ(m_notices.errors.size(), 1u);
    EXPECT_EQ(SelectorItems(), std::vector<std::string>{"Sala"});
}

std::string TextFile() {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "Elenco lettori, riga " + std::to_string(i) + "\r\n";
    }
    return text;
}

// A real registry cut short: its header promises pages that are not there.
std::string TruncatedRegistry() {
    orvanta::test::TempFolder folder;
    const auto file = folder.Path() / "full.mdb";
    std::string sql = std::string(registry::kManagerTableSchema) + ";BEGIN;";
    for (int i = 0; i < 2000; ++i) {
        sql += "INSERT INTO manager (manager_list_name, player_ip) VALUES ('Sala', '10.0.0." +
               std::to_string(i % 250) + "');";
    }
    orvanta::test::ExecSql(file, sql + "COMMIT;");
    return ReadBytes(file).substr(0, 4096);
}

INSTANTIATE_TEST_SUITE_P(
    RegistryFileFaults, NotADatabaseTest,
    ::testing::Values(NotADatabase{"text", TextFile(),
                                   "[unixODBC][Driver Manager]Can't open lib 'Microsoft Access "
                                   "Driver (*.mdb)' : file not found",
                                   false},
                      NotADatabase{"empty", "", "no such table: manager", false},
                      NotADatabase{"truncated", TruncatedRegistry(),
                                   "database disk image is malformed", true}),
    [](const ::testing::TestParamInfo<NotADatabase>& info) { return info.param.name; });

}  // namespace
}  // namespace orvanta::faults
