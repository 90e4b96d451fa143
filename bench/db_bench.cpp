// Times the registry's player query on a group of many players and reports memory.
//
//   db_bench [--players N] [--keep FILE] [--odbc-mariadb]
//
// Builds a registry file with N players (default 100 000) in one group in a temporary folder,
// then measures, through the database layer: connecting and opening the group with its first
// 50 rows shown, the row count, a full walk with Next reading every field, and the resident
// memory before and after the walk. The last line is a summary of key=value pairs.
//
// With --odbc-mariadb the same measurements run through the ODBC driver: a MariaDB server of
// the benchmark's own (private folder, loopback port) holds the players, and data.mdb is an
// Access-like file, so the layer goes through unixODBC to MariaDB Connector/ODBC registered
// under the Access driver's name in a driver list of the benchmark's own.

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "db/Connection.h"
#include "db/Query.h"
#ifdef ORVANTA_MARIADB_ODBC_DRIVER
#include <memory>

#include "tests/support/MariaDbServer.h"
#include "tests/support/OdbcLists.h"
#endif

namespace {

using orvanta::bench::Clock;
using orvanta::bench::Ms;
using orvanta::bench::StatusKib;

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "setup failed: %s\n", error ? error : "?");
        std::exit(1);
    }
}

void MakeRegistry(const std::string& file, int players) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Exec(db,
         "CREATE TABLE manager (id INTEGER PRIMARY KEY AUTOINCREMENT, attivo BOOLEAN, "
         "manager_list_name VARCHAR(255), player_ip VARCHAR(255), player_port INTEGER, "
         "player_file_play VARCHAR(255))");
    Exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                       "player_file_play) VALUES (?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    for (int n = 0; n < players; ++n) {
        const std::string ip = "10." + std::to_string(n / 65536 % 256) + "." +
                               std::to_string(n / 256 % 256) + "." + std::to_string(n % 256);
        const std::string file = "/srv/media/sala grande/clip-" + std::to_string(n) + ".mp4";
        sqlite3_bind_int(insert, 1, n % 2);
        sqlite3_bind_text(insert, 2, "Sala grande", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, ip.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 4, 7000 + n % 26000);
        sqlite3_bind_text(insert, 5, file.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    // A small second group, so the filter has something to leave out.
    Exec(db,
         "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
         "player_file_play) SELECT attivo, 'Atrio', player_ip, player_port, player_file_play "
         "FROM manager WHERE id <= 500");
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

#ifdef ORVANTA_MARIADB_ODBC_DRIVER
// The same players in the server's table; data.mdb only has to look like an Access file.
std::unique_ptr<orvanta::test::MariaDbServer> MakeServerRegistry(const std::string& file,
                                                                 int players) {
    orvanta::test::UseTestOdbcLists(
        {{orvanta::test::kAccessDriverName, ORVANTA_MARIADB_ODBC_DRIVER}});
    auto server = std::make_unique<orvanta::test::MariaDbServer>();
    setenv("MYSQL_TCP_PORT", std::to_string(server->Port()).c_str(), 1);
    server->Run(
        "CREATE TABLE manager (id INT AUTO_INCREMENT PRIMARY KEY, attivo TINYINT(1), "
        "manager_list_name VARCHAR(255), player_ip VARCHAR(255), player_port INT, "
        "player_file_play VARCHAR(255)) ENGINE=InnoDB;"
        "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
        "player_file_play) SELECT seq % 2, 'Sala grande', CONCAT('10.', seq DIV 65536 % 256, "
        "'.', seq DIV 256 % 256, '.', seq % 256), 7000 + seq % 26000, "
        "CONCAT('/srv/media/sala grande/clip-', seq, '.mp4') FROM seq_0_to_" +
        std::to_string(players - 1) +
        ";"
        "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
        "player_file_play) SELECT attivo, 'Atrio', player_ip, player_port, player_file_play "
        "FROM manager WHERE id <= 500;");
    std::string bytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    bytes.resize(2048, '\0');
    std::ofstream(file, std::ios::binary) << bytes;
    return server;
}
#endif

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the measurement `rounds` times and keeps the median.
double Measure(int rounds, const std::function<double()>& once) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        times.push_back(once());
    }
    return Median(times);
}

const char* kGroupStatement =
    "select * from manager where manager_list_name='Sala grande' order by manager_list_name";

// Reads the fields as the grid and the group commands do.
std::size_t Touch(orvanta::db::Query& query) {
    std::size_t bytes = query.FieldByName("player_ip").AsString().size();
    bytes += query.FieldByName("player_file_play").AsString().size();
    bytes += static_cast<std::size_t>(query.FieldByName("player_port").AsInteger() > 0);
    bytes += static_cast<std::size_t>(query.FieldByName("attivo").AsBoolean());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    int players = 100000;
    std::string keep;
    bool odbcMariaDb = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--odbc-mariadb") {
            odbcMariaDb = true;
        }
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--odbc-mariadb") {
            --i;
            continue;
        }
        if (key == "--players") {
            players = std::atoi(argv[i + 1]);
        } else if (key == "--keep") {
            keep = argv[i + 1];
        }
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvanta-db-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string file = keep.empty() ? (folder / "data.mdb").string() : keep;
    std::filesystem::remove(file);
    auto start = Clock::now();
#ifdef ORVANTA_MARIADB_ODBC_DRIVER
    std::unique_ptr<orvanta::test::MariaDbServer> server;
    if (odbcMariaDb) {
        server = MakeServerRegistry(file, players);
    } else {
        MakeRegistry(file, players);
    }
#else
    if (odbcMariaDb) {
        std::fprintf(stderr, "built without the MariaDB ODBC driver\n");
        return 2;
    }
    MakeRegistry(file, players);
#endif
    std::printf("setup (%s): %d players in %.0f ms\n", odbcMariaDb ? "ODBC, MariaDB" : "SQLite",
                players, Ms(start));

    const int rounds = 5;
    std::size_t sink = 0;
    const double openMs = Measure(rounds, [&] {
        const auto t = Clock::now();
        orvanta::db::Connection conn;
        conn.AddParam("Database=" + file);
        conn.AddParam("User_Name=admin");
        conn.AddParam("DriverID=MSAcc");
        conn.Connect();
        orvanta::db::Query qfiles(conn, "qfiles");
        qfiles.SqlAdd(kGroupStatement);
        qfiles.Open();
        for (std::size_t row = 0; row < 50; ++row) {
            for (std::size_t column = 0; column < qfiles.FieldCount(); ++column) {
                sink += qfiles.CellValue(row, column).index();
            }
        }
        return Ms(t);
    });
    std::printf("open group + first 50 rows: %.2f ms (median of %d)\n", openMs, rounds);

    orvanta::db::Connection conn;
    conn.AddParam("Database=" + file);
    conn.AddParam("User_Name=admin");
    orvanta::db::Query qfiles(conn, "qfiles");
    qfiles.SqlAdd(kGroupStatement);

    std::int64_t count = 0;
    const double countMs = Measure(rounds, [&] {
        qfiles.Close();
        qfiles.Open();
        const auto t = Clock::now();
        count = qfiles.RecordCount();
        return Ms(t);
    });
    std::printf("row count (%lld): %.2f ms (median of %d)\n", static_cast<long long>(count),
                countMs, rounds);

    long rssBefore = 0;
    long rssHalf = 0;
    long rssAfter = 0;
    const double walkMs = Measure(rounds, [&] {
        qfiles.Close();
        qfiles.Open();
        rssBefore = StatusKib("VmRSS");
        const auto t = Clock::now();
        std::size_t passed = 0;
        while (!qfiles.Eof()) {
            sink += Touch(qfiles);
            qfiles.Next();
            if (++passed == static_cast<std::size_t>(players) / 2) {
                rssHalf = StatusKib("VmRSS");
            }
        }
        const double ms = Ms(t);
        rssAfter = StatusKib("VmRSS");
        if (passed != static_cast<std::size_t>(players)) {
            std::fprintf(stderr, "walk saw %zu rows\n", passed);
            std::exit(1);
        }
        return ms;
    });
    std::printf("full walk with Next: %.1f ms (median of %d)\n", walkMs, rounds);
    std::printf("resident memory: %ld KiB before the walk, %ld KiB half way, %ld KiB at the end\n",
                rssBefore, rssHalf, rssAfter);

    qfiles.Close();
    qfiles.Open();
    start = Clock::now();
    qfiles.Append();
    const double appendMs = Ms(start);
    qfiles.Cancel();
    std::printf("append on the group (fetches the whole result first): %.1f ms\n", appendMs);
    qfiles.Close();

    const long peak = StatusKib("VmHWM");
    std::printf("peak resident memory: %ld KiB\n", peak);
    std::printf(
        "summary driver=%s players=%d open_first50_ms=%.2f count_ms=%.2f walk_ms=%.1f "
        "walk_rss_growth_kib=%ld peak_rss_kib=%ld sink=%zu\n",
        odbcMariaDb ? "odbc-mariadb" : "sqlite", players, openMs, countMs, walkMs,
        rssAfter - rssBefore, peak, sink % 10);
    if (keep.empty()) {
        std::filesystem::remove_all(folder);
    }
    return 0;
}
