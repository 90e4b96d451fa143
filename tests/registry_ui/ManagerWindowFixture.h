#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/Value.h"
#include "registry/RegistryStore.h"
#include "registry/Schema.h"
#include "registry/ui/TFormMainManager.h"
#include "registry/widgets/PlayerGrid.h"
#include "registry/widgets/PlayerGridHeader.h"
#include "tests/db/TempDatabase.h"
#include "tests/support/RecordingDoubles.h"

namespace orvanta::registry::ui::test {

using orvanta::test::TracedStatement;

// A registry file in a temporary folder that stands for the executable's folder, and the
// manager window over it with recording boxes. The window is created and shown by Open(), so
// a test can shape the registry first; every statement it sends is recorded.
class ManagerWindowFixture : public ::testing::Test {
protected:
    ManagerWindowFixture() : m_file(m_folder.Path() / kRegistryFileName) {
        orvanta::test::ExecSql(m_file, kManagerTableSchema);
    }
    ~ManagerWindowFixture() override { m_window.reset(); }

    // One row; a group of "NULL" stores a null group.
    void AddPlayer(const std::string& group, const std::string& ip, int port, bool active,
                   const std::string& file) {
        orvanta::test::ExecSql(
            m_file,
            "INSERT INTO manager (attivo, manager_list_name, player_ip, player_port, "
            "player_file_play) VALUES (" +
                std::string(active ? "1" : "0") + ", " + (group == "NULL" ? group : Quoted(group)) +
                ", '" + ip + "', " + std::to_string(port) + ", " + Quoted(file) + ")");
    }

    TFormMainManager& Open() {
        m_window = std::make_unique<TFormMainManager>(TFormMainManager::Environment{
            m_notices, m_effects, [this] { return m_folder.WithSeparator(); }});
        m_window->Store().conn.SetTrace(
            [this](const std::string& sql, const std::vector<db::Value>& values) {
                m_trace.push_back({sql, values});
            });
        m_window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        return *m_window;
    }
    TFormMainManager& Window() { return *m_window; }

    // The selector's text changes as when an entry is chosen from its list.
    void ChooseGroup(const std::string& name) {
        QComboBox& selector = *m_window->ListaPlurilist;
        selector.setEditText(QString::fromStdString(name));
    }
    std::vector<std::string> SelectorItems() const {
        std::vector<std::string> items;
        for (int i = 0; i < m_window->ListaPlurilist->count(); ++i) {
            items.push_back(m_window->ListaPlurilist->itemText(i).toStdString());
        }
        return items;
    }
    QColor SelectorColour() const {
        return m_window->ListaPlurilist->palette().color(QPalette::Base);
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const TracedStatement& statement : m_trace) {
            texts.push_back(statement.sql);
        }
        return texts;
    }

    // What the grid shows in one column, top to bottom (4: "IP Player").
    std::vector<std::string> GridColumn(int column = 4) const {
        const QAbstractItemModel& model = *m_window->playlistdb->model();
        std::vector<std::string> texts;
        for (int row = 0; row < model.rowCount(); ++row) {
            texts.push_back(model.index(row, column).data().toString().toStdString());
        }
        return texts;
    }
    int GridCurrentRow() const { return m_window->playlistdb->currentIndex().row(); }

    QPoint RowCentre(int row, int column = 4) const {
        widgets::PlayerGrid& grid = *m_window->playlistdb;
        return grid.visualRect(grid.model()->index(row, column)).center();
    }
    void ClickRow(int row) {
        QTest::mouseClick(m_window->playlistdb->viewport(), Qt::LeftButton, {}, RowCentre(row));
    }
    void DoubleClickRow(int row) {
        QTest::mouseDClick(m_window->playlistdb->viewport(), Qt::LeftButton, {}, RowCentre(row));
    }
    void ClickTitle(int column) {
        widgets::PlayerGridHeader& titles = m_window->playlistdb->Titles();
        const int x = titles.sectionViewportPosition(column) + titles.sectionSize(column) / 2;
        QTest::mouseClick(titles.viewport(), Qt::LeftButton, {}, QPoint(x, titles.height() / 2));
    }

    std::vector<std::string> Stored(const std::string& sql) const {
        return orvanta::test::ColumnTexts(m_file, sql);
    }

    orvanta::test::TempFolder m_folder;
    std::filesystem::path m_file;
    orvanta::test::RecordingNotices m_notices;
    orvanta::test::RecordingEffects m_effects;
    std::vector<TracedStatement> m_trace;
    std::unique_ptr<TFormMainManager> m_window;
};

// The statements of a group change for a quoted name, and of the reload after a post.
inline std::string GroupList() {
    return "select distinct manager_list_name from manager\n";
}
inline std::vector<std::string> GroupChange(const std::string& quoted) {
    return {
        "select manager_list_name from manager where manager_list_name=" + quoted + "\n",
        "select * from manager where manager_list_name=" + quoted + " order by manager_list_name\n",
        "SELECT COUNT(*) FROM (\nselect manager_list_name from manager where "
        "manager_list_name=" +
            quoted + "\n) A\n"};
}
inline std::vector<std::string> Reload(const std::string& quoted) {
    std::vector<std::string> texts = {GroupList()};
    for (const std::string& text : GroupChange(quoted)) {
        texts.push_back(text);
    }
    return texts;
}
inline std::vector<std::string> Then(std::vector<std::string> first,
                                     const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

}  // namespace orvanta::registry::ui::test
