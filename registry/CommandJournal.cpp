#include "registry/CommandJournal.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "core/Failure.h"
#include "core/Station.h"
#include "core/Text.h"
#include "link/DateTimeText.h"
#include "registry/JournalFile.h"

namespace orvanta::registry {

namespace {

constexpr std::size_t kRecordFields = 7;
constexpr std::size_t kPlayerFields = 4;

constexpr JournalOutcome kOutcomes[] = {
    JournalOutcome::Done,       JournalOutcome::AlreadyPresent, JournalOutcome::Failed,
    JournalOutcome::NotReached, JournalOutcome::Skipped,        JournalOutcome::Unfinished,
};

std::optional<JournalOutcome> OutcomeOfWord(const std::string& word) {
    for (const JournalOutcome outcome : kOutcomes) {
        if (word == JournalOutcomeWord(outcome)) {
            return outcome;
        }
    }
    return std::nullopt;
}

bool Names(const std::string& command, const char* name) {
    return command == name || command == std::string("continua ") + name ||
           command == std::string("salta ") + name;
}

}  // namespace

const char* JournalOutcomeWord(JournalOutcome outcome) {
    switch (outcome) {
        case JournalOutcome::Done:
            return "done";
        case JournalOutcome::AlreadyPresent:
            return "already present";
        case JournalOutcome::Failed:
            return "failed";
        case JournalOutcome::NotReached:
            return "not reached";
        case JournalOutcome::Skipped:
            return "skipped";
        case JournalOutcome::Unfinished:
            return "unfinished";
    }
    return "?";
}

std::string JournalTime() {
    const link::LocalDateTime now = link::LocalNow();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
}

JournalRecord NewJournalRecord(const std::string& program, const std::string& command,
                               const std::string& group, const std::string& file) {
    JournalRecord record;
    record.time = JournalTime();
    record.station = StationName();
    record.user = OperatorName();
    record.program = program;
    record.command = command;
    record.group = group;
    record.file = file;
    return record;
}

std::string JournalPathFor(const std::string& registryFile) {
    std::error_code error;
    // Where a link leads: the folder a link sits in (the program's own) may not be writable.
    const std::filesystem::path real = std::filesystem::canonical(registryFile, error);
    const std::string file = error ? registryFile : real.string();
    return file + ".orvanta.log";
}

std::string JournalLine(const JournalRecord& record) {
    std::vector<std::string> fields = {record.time,    record.station, record.user, record.program,
                                       record.command, record.group,   record.file};
    for (const JournalPlayer& player : record.players) {
        fields.insert(fields.end(), {player.address, player.port,
                                     JournalOutcomeWord(player.outcome), player.text});
    }
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i > 0 ? "\t" : "") + TerminalSafe(fields[i]);
    }
    return line + "\n";
}

std::optional<JournalRecord> ParseJournalLine(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        const std::optional<std::string> value =
            FromTerminalSafe(std::string_view(line).substr(start, tab - start));
        if (!value) {
            return std::nullopt;
        }
        fields.push_back(*value);
        if (tab == std::string::npos) {
            break;
        }
        start = tab + 1;
    }
    if (fields.size() < kRecordFields || (fields.size() - kRecordFields) % kPlayerFields != 0) {
        return std::nullopt;
    }
    JournalRecord record{fields[0], fields[1], fields[2], fields[3],
                         fields[4], fields[5], fields[6], {}};
    for (std::size_t i = kRecordFields; i < fields.size(); i += kPlayerFields) {
        const std::optional<JournalOutcome> outcome = OutcomeOfWord(fields[i + 2]);
        if (!outcome) {
            return std::nullopt;
        }
        record.players.push_back({fields[i], fields[i + 1], *outcome, fields[i + 3]});
    }
    return record;
}

void AppendToJournal(const std::string& journalPath, const JournalRecord& record) {
    AppendJournalLine(journalPath, JournalLine(record));
}

std::vector<JournalRecord> ReadJournal(const std::string& journalPath) {
    std::vector<JournalRecord> records;
    std::error_code error;
    const auto status = std::filesystem::status(journalPath, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return records;
    }
    std::ifstream in(journalPath, std::ios::binary);
    if (!in || !std::filesystem::is_regular_file(status)) {
        throw Failure("Cannot read the journal \"" + journalPath + "\".");
    }
    // A line still without its end is a record being written: it is not one yet.
    for (std::string line; std::getline(in, line);) {
        if (in.eof()) {
            break;
        }
        if (std::optional<JournalRecord> record = ParseJournalLine(line)) {
            records.push_back(std::move(*record));
        }
    }
    if (in.bad()) {
        throw Failure("Cannot read the journal \"" + journalPath + "\".");
    }
    return records;
}

std::map<JournalPlayerKey, PlayerHolding> ReadPlayerHoldings(const std::string& journalPath) {
    std::map<JournalPlayerKey, PlayerHolding> holdings;
    for (const JournalRecord& record : ReadJournal(journalPath)) {
        for (const JournalPlayer& player : record.players) {
            if (player.address.empty()) {
                continue;  // the command never learned which player the entry was
            }
            const JournalMark mark{record.time,    record.station, record.user,    record.program,
                                   record.command, record.file,    player.outcome, player.text};
            PlayerHolding& holding = holdings[{player.address, player.port}];
            holding.last = mark;
            const bool stored = player.outcome == JournalOutcome::Done ||
                                player.outcome == JournalOutcome::AlreadyPresent;
            if (stored &&
                (Names(record.command, "copy") || Names(record.command, "parallel-copy"))) {
                holding.copied = mark;
            } else if (player.outcome == JournalOutcome::Done && Names(record.command, "load")) {
                holding.loaded = mark;
            }
        }
    }
    return holdings;
}

JournalWriter::JournalWriter(std::string program) : JournalWriter(std::move(program), std::cerr) {}

bool JournalWriter::Append(const std::string& journalPath, const JournalRecord& record) noexcept {
    try {
        try {
            AppendToJournal(journalPath, record);
            m_problem.clear();
            return true;
        } catch (const std::exception& e) {
            m_problem = e.what();
        } catch (...) {
            m_problem = "Cannot write the journal \"" + journalPath + "\".";
        }
        if (!m_told) {
            m_told = true;
            m_trouble << m_program << ": " << TerminalSafe(m_problem)
                      << " Group commands go on without it.\n"
                      << std::flush;
        }
    } catch (...) {
        // Not even the telling worked: the command goes on all the same.
    }
    return false;
}

}  // namespace orvanta::registry
