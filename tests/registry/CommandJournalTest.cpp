// The journal of group commands as a file: what goes in comes back byte for byte, one line a
// record, whoever writes at the same time.
#include "registry/CommandJournal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

#include "core/Failure.h"
#include "tests/db/TempDatabase.h"
#include "tests/support/SystemTexts.h"

namespace orvanta::registry {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

JournalRecord Record(const std::string& command, const std::string& file,
                     std::vector<JournalPlayer> players, const std::string& time = "t") {
    return {time, "station", "user", "orvanta-group", command, "Sala", file, std::move(players)};
}

class CommandJournalTest : public ::testing::Test {
protected:
    test::TempFolder m_folder;
    std::string m_journal = (m_folder.Path() / "data.mdb.orvanta.log").string();
};

TEST_F(CommandJournalTest, hostileValuesStayOnOneLineAndReadBackAsTheyWere) {
    // Each value goes into every field a record has.
    const std::string values[] = {
        "",
        "clip one.mp4",
        "two\nlines\r\nand a CR\r",
        "tab\there\tand\tthere",
        std::string("NUL\0inside", 10),
        "not UTF-8: \xE8\xFF\xC0\x80 end",
        "caff\xC3\xA8 \xE2\x82\xAC",
        "escape look-alikes: \\x41 \\u0085 \\\\ \\",
        "\x1B[2J\x1B]0;title\x07 and a C1 \xC2\x9B",
        "\xEF\xBB\xBF BOM and a trailing backslash\\",
    };
    std::vector<JournalRecord> written;
    for (const std::string& value : values) {
        JournalRecord record{value, value, value, value, value, value, value, {}};
        for (const JournalOutcome outcome :
             {JournalOutcome::Done, JournalOutcome::AlreadyPresent, JournalOutcome::Failed,
              JournalOutcome::NotReached, JournalOutcome::Skipped, JournalOutcome::Unfinished}) {
            record.players.push_back({value, value, outcome, value});
        }
        written.push_back(record);
        AppendToJournal(m_journal, record);
    }
    // A record without players too.
    written.push_back(Record("play", "", {}));
    AppendToJournal(m_journal, written.back());

    const std::vector<JournalRecord> read = ReadJournal(m_journal);
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i], written[i]) << i << ": " << JournalLine(read[i]);
    }
    // One line a record, and nothing a terminal showing the file would act on.
    const std::string bytes = Contents(m_journal);
    EXPECT_EQ(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')),
              written.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE(byte == '\n' || byte == '\t' || (byte >= 0x20 && byte != 0x7F)) << int{byte};
    }
}

TEST_F(CommandJournalTest, linesThatAreNoWholeRecordArePassedOver) {
    AppendToJournal(m_journal, Record("copy", "a.mp4", {{"10.0.0.1", "7000", {}, ""}}));
    {
        std::ofstream out(m_journal, std::ios::binary | std::ios::app);
        out << "not a record\n"
            << "t\ts\tu\tp\tcopy\tSala\tf\t10.0.0.1\t7000\tdone\n"      // a player cut short
            << "t\ts\tu\tp\tcopy\tSala\tf\t10.0.0.1\t7000\tbroken\t\n"  // no such outcome
            << "t\ts\tu\tp\tcopy\tSala\tbad \\q escape\n"               // no such escape
            << "\n"
            << "t\ts\tu\tp\tload\tSala\tb.mp4\t10.0.0.1\t70";  // still being written
    }
    // The next writer ends the unfinished line first, so it cannot swallow the new record.
    AppendToJournal(m_journal, Record("play", "", {{"10.0.0.1", "7000", {}, ""}}));
    const std::vector<JournalRecord> read = ReadJournal(m_journal);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].command, "copy");
    EXPECT_EQ(read[1].command, "play");
}

TEST_F(CommandJournalTest, recordsWrittenAtOnceNeverMix) {
    // Records far larger than one piece of any buffer, from writers that each open the file.
    constexpr int kWriters = 6;
    constexpr int kRecords = 40;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([this, w] {
            for (int r = 0; r < kRecords; ++r) {
                const std::string text(100000 + w * 1000 + r, static_cast<char>('a' + w));
                AppendToJournal(m_journal, Record(std::to_string(w), std::to_string(r),
                                                  {{"10.0.0.1", "7000", {}, text}}));
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    const std::vector<JournalRecord> read = ReadJournal(m_journal);
    ASSERT_EQ(read.size(), static_cast<std::size_t>(kWriters * kRecords));
    std::set<std::pair<std::string, std::string>> seen;
    for (const JournalRecord& record : read) {
        const int w = std::stoi(record.command);
        const int r = std::stoi(record.file);
        ASSERT_EQ(record.players.size(), 1u);
        EXPECT_EQ(record.players[0].text,
                  std::string(100000 + w * 1000 + r, static_cast<char>('a' + w)));
        seen.insert({record.command, record.file});
    }
    EXPECT_EQ(seen.size(), read.size());
}

TEST_F(CommandJournalTest, eachPlayersLastCopiedAndLoadedFileAndLastWord) {
    const auto player = [](const std::string& address, JournalOutcome outcome,
                           const std::string& text = {}) {
        return JournalPlayer{address, "7000", outcome, text};
    };
    using O = JournalOutcome;
    const JournalRecord records[] = {
        Record("copy", "old.mp4", {player("10.0.0.1", O::Done), player("10.0.0.2", O::Done)}, "1"),
        Record("load", "old.mp4", {player("10.0.0.1", O::Done), player("10.0.0.2", O::Done)}, "2"),
        // A later copy: the first player already held it, the second failed, the third was
        // not reached and an entry without a player was passed over.
        Record("copy", "new.mp4",
               {player("10.0.0.1", O::AlreadyPresent), player("10.0.0.2", O::Failed, "550 No."),
                player("10.0.0.3", O::NotReached), player("", O::Skipped)},
               "3"),
        Record("continua copy", "new.mp4", {player("10.0.0.2", O::Done)}, "4"),
        Record("continua load", "new.mp4", {player("10.0.0.2", O::Failed, "refused")}, "5"),
        Record("parallel-copy", "par.mp4", {player("10.0.0.3", O::Done)}, "6"),
        Record("play", "", {player("10.0.0.1", O::Done)}, "7"),
        // Another player on the same address is another player.
        Record("load", "x.mp4", {{"10.0.0.1", "7002", O::Done, ""}}, "8"),
    };
    for (const JournalRecord& record : records) {
        AppendToJournal(m_journal, record);
    }
    const auto holdings = ReadPlayerHoldings(m_journal);
    ASSERT_EQ(holdings.size(), 4u);

    const PlayerHolding& first = holdings.at({"10.0.0.1", "7000"});
    ASSERT_TRUE(first.copied && first.loaded && first.last);
    EXPECT_EQ(first.copied->file, "new.mp4");
    EXPECT_EQ(first.copied->time, "3");
    EXPECT_EQ(first.copied->outcome, O::AlreadyPresent);
    EXPECT_EQ(first.loaded->file, "old.mp4");
    EXPECT_EQ(first.loaded->time, "2");
    EXPECT_EQ(first.last->command, "play");

    const PlayerHolding& second = holdings.at({"10.0.0.2", "7000"});
    ASSERT_TRUE(second.copied && second.loaded && second.last);
    EXPECT_EQ(second.copied->time, "4");
    EXPECT_EQ(second.copied->command, "continua copy");
    EXPECT_EQ(second.loaded->file, "old.mp4") << "the later load failed";
    EXPECT_EQ(second.last->outcome, O::Failed);
    EXPECT_EQ(second.last->text, "refused");

    const PlayerHolding& third = holdings.at({"10.0.0.3", "7000"});
    ASSERT_TRUE(third.copied);
    EXPECT_EQ(third.copied->file, "par.mp4");
    EXPECT_FALSE(third.loaded);

    const PlayerHolding& other = holdings.at({"10.0.0.1", "7002"});
    EXPECT_FALSE(other.copied);
    ASSERT_TRUE(other.loaded);
    EXPECT_EQ(other.loaded->file, "x.mp4");
}

TEST_F(CommandJournalTest, noJournalReadsAsNothingAndAnUnreadableOneFails) {
    EXPECT_TRUE(ReadJournal(m_journal).empty());
    EXPECT_TRUE(ReadPlayerHoldings(m_journal).empty());
    fs::create_directory(m_journal);
    EXPECT_THROW(ReadJournal(m_journal), Failure);
}

TEST_F(CommandJournalTest, theJournalLivesBesideTheRegistryALinkLeadsTo) {
#ifdef _WIN32
    GTEST_SKIP() << "Symbolic links need a privilege on Windows (and wine makes none).";
#endif
    // As the package sets it up: data.mdb beside the program links to the operator's folder.
    const fs::path program = m_folder.Path() / "opt";
    const fs::path own = m_folder.Path() / "var";
    fs::create_directories(program);
    fs::create_directories(own);
    std::ofstream(own / "data.mdb") << "registry";
    fs::create_symlink(own / "data.mdb", program / "data.mdb");
    EXPECT_EQ(fs::path(JournalPathFor((program / "data.mdb").string())),
              fs::canonical(own) / "data.mdb.orvanta.log");
    // A registry that is not there yet: beside the path as given.
    EXPECT_EQ(JournalPathFor((own / "other.db").string()),
              (own / "other.db").string() + ".orvanta.log");
}

TEST_F(CommandJournalTest, aJournalThatCannotBeWrittenIsToldOfOnceAndNeverRaises) {
    const std::string nowhere = (m_folder.Path() / "absent" / "data.mdb.orvanta.log").string();
    std::ostringstream trouble;
    JournalWriter writer("orvanta-group", trouble);
    EXPECT_FALSE(writer.Append(nowhere, Record("play", "", {})));
    EXPECT_FALSE(writer.Append(nowhere, Record("pause", "", {})));
    EXPECT_EQ(trouble.str(), "orvanta-group: Cannot write the journal \"" + test::Printed(nowhere) +
                                 "\": " + test::SystemErrorText(test::kNoSuchFolder) +
                                 ". Group commands go on without it.\n");
    EXPECT_NE(writer.Problem(), "");
    EXPECT_TRUE(writer.Append(m_journal, Record("play", "", {})));
    EXPECT_EQ(writer.Problem(), "");
    EXPECT_EQ(ReadJournal(m_journal).size(), 1u);
}

}  // namespace
}  // namespace orvanta::registry
