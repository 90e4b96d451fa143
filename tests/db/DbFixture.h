#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Query.h"
#include "tests/db/TempDatabase.h"

namespace orvanta::test {

// A registry file with the manager table in a temporary folder, a connection to it whose
// statements are recorded, and the player query.
class DbFixture : public ::testing::Test {
protected:
    DbFixture() {
        m_file = (m_folder.Path() / "data.mdb").string();
        ExecSql(m_file, kManagerSchema);
        m_conn.AddParam("Database=" + m_file);
        m_conn.AddParam("User_Name=admin");
        m_conn.AddParam("DriverID=MSAcc");
        m_conn.SetTrace([this](const std::string& sql, const std::vector<db::Value>& values) {
            m_trace.push_back({sql, values});
        });
    }

    // Players 1..count of a group, alternately active, on ports 7000 + n.
    void AddPlayers(const std::string& group, int count) {
        std::string sql = "BEGIN;";
        for (int n = 1; n <= count; ++n) {
            sql +=
                "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
                "player_file_play) VALUES (" +
                std::to_string(n % 2) + ", '" + group + "', '10.0.0." + std::to_string(n) + "', " +
                std::to_string(7000 + n) + ", '/media/clip" + std::to_string(n) + ".mp4');";
        }
        ExecSql(m_file, sql + "COMMIT;");
    }

    void OpenSql(db::Query& query, const std::string& sql) {
        query.SqlClear();
        query.SqlAdd(sql);
        query.Open();
    }

    std::vector<std::string> TracedTexts() const {
        std::vector<std::string> texts;
        for (const TracedStatement& statement : m_trace) {
            texts.push_back(statement.sql);
        }
        return texts;
    }

    TempFolder m_folder;
    std::string m_file;
    db::Connection m_conn;
    db::Query m_qfiles{m_conn, "qfiles"};
    std::vector<TracedStatement> m_trace;
};

// Runs a statement and returns the text of the Failure it raises ("" when none).
template <typename Action>
std::string FailureText(Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace orvanta::test
