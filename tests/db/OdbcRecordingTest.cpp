// What the manager hands the driver manager for an Access file, proven with a small recording
// driver registered under the Access driver's name in the test's own list; and the driver
// manager library itself missing (error 314) or lacking an entry point (error 315).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sqlext.h>

#include "core/Dispatch.h"
#include "db/DatabaseFileDriver.h"
#include "db/OdbcDriver.h"
#include "registry/RegistryStore.h"
#include "registry/Schema.h"
#include "tests/db/DbFixture.h"
#include "tests/support/OdbcLists.h"

namespace orvanta::registry {
namespace {

using test::FailureText;

void WriteAccessFile(const std::filesystem::path& path) {
    std::string bytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    bytes.resize(2048, '\0');
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class OdbcRecordingTest : public ::testing::Test {
protected:
    OdbcRecordingTest() {
        m_record = test::UseTestOdbcLists({{test::kAccessDriverName, ORVANTA_RECORDING_DRIVER}}) /
                   "recorded.txt";
        std::filesystem::remove(m_record);
        ::setenv("ORVANTA_RECORDED_CONNECTION", m_record.c_str(), 1);
    }

    test::TempFolder m_root;
    std::filesystem::path m_record;
};

TEST_F(OdbcRecordingTest, accessFileGetsTheExactConnectionStringWithoutPrompting) {
    struct Case {
        const char* folder;
        bool wrapped;
    };
    // Parentheses or a semicolon in the path wrap the value in braces; blanks alone do not.
    const Case cases[] = {{"Manager", false},
                          {"Program Files/Kelt Manager", false},
                          {"Program Files (x86)/Manager", true},
                          {"a;b", true}};
    for (const Case& c : cases) {
        const std::filesystem::path folder = m_root.Path() / c.folder;
        std::filesystem::create_directories(folder);
        WriteAccessFile(folder / kRegistryFileName);
        std::filesystem::remove(m_record);
        RegistryStore store([&] { return folder.string() + "/"; });

        EXPECT_EQ(FailureText([&] { store.LoadGroups(); }),
                  "[AnyDAC][Phys][ODBC][Recorder]Connection string recorded");
        EXPECT_FALSE(store.conn.Connected());
        const std::string path = folder.string() + "/data.mdb";
        const std::string dbq = c.wrapped ? "{" + path + "}" : path;
        EXPECT_EQ(ReadText(m_record),
                  "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ=" + dbq +
                      ";UID=admin\n" + std::to_string(SQL_DRIVER_NOPROMPT))
            << c.folder;
    }
}

TEST_F(OdbcRecordingTest, missingDriverManagerLibraryIsErrorThreeHundredFourteenEveryTime) {
    WriteAccessFile(m_root.Path() / kRegistryFileName);
    RegistryStore store(
        [&] { return m_root.WithSeparator(); },
        std::make_unique<db::DatabaseFileDriver>(db::OdbcSettings{"libodbc-absent.so.2", nullptr}));
    const std::string expected =
        "[AnyDAC][Phys][ODBC]-314. Cannot load vendor library [libodbc-absent.so.2].\r\n"
        "libodbc-absent.so.2: cannot open shared object file: No such file or directory\r\n"
        "Check [libodbc-absent.so.2] is located in one of the PATH directories or in application "
        "EXE direcrory";
    EXPECT_EQ(FailureText([&] { store.LoadGroups(); }), expected);
    // Not remembered as loaded: the next reload tries again.
    EXPECT_EQ(FailureText([&] { store.LoadGroups(); }), expected);
    EXPECT_FALSE(store.conn.Connected());
}

TEST_F(OdbcRecordingTest, missingEntryPointIsShownAtOnceAndLoadingGoesOn) {
    std::vector<std::string> uncaught;
    const UncaughtFailureHandler previous =
        SetUncaughtFailureHandler([&](const std::string& message) { uncaught.push_back(message); });
    WriteAccessFile(m_root.Path() / kRegistryFileName);
    RegistryStore store([&] { return m_root.WithSeparator(); },
                        std::make_unique<db::DatabaseFileDriver>(
                            db::OdbcSettings{ORVANTA_STUB_DRIVER_MANAGER, nullptr}));

    // The missing function is reported through the application's handler; the functions after
    // it are still looked up and the stub's own failing SQLAllocHandle is reached.
    const std::string failure = FailureText([&] { store.LoadGroups(); });
    SetUncaughtFailureHandler(previous);
    EXPECT_EQ(uncaught, std::vector<std::string>{
                            "[AnyDAC][Phys][ODBC]-315. Cannot get vendor library entry point "
                            "[SQLSpecialColumns].\r\n" +
                            std::string(ORVANTA_STUB_DRIVER_MANAGER) +
                            ": undefined symbol: SQLSpecialColumns\r\n"});
    EXPECT_EQ(failure, "[AnyDAC][Phys][ODBC][CLI] SQL_ERROR");

    // Loaded once: a second reload reports nothing new.
    uncaught.clear();
    SetUncaughtFailureHandler([&](const std::string& message) { uncaught.push_back(message); });
    EXPECT_EQ(FailureText([&] { store.LoadGroups(); }), "[AnyDAC][Phys][ODBC][CLI] SQL_ERROR");
    SetUncaughtFailureHandler(previous);
    EXPECT_TRUE(uncaught.empty());
}

}  // namespace
}  // namespace orvanta::registry
