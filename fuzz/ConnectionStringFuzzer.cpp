// The connection string built from a definition of any values: read back the way the driver
// reads it, every known key gives exactly its value, and a key left out or empty is absent,
// whatever a value holds (";", "=", braces, quotes). A value the caller already enclosed in
// braces or double quotes is passed as it is, so definitions holding one are only built.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "db/ConnectionString.h"
#include "fuzz/Check.h"

namespace {

struct Key {
    const char* name;
    const char* keyword;
};

constexpr std::array<Key, 7> kKeys = {{{"Database", "DBQ"},
                                       {"SystemDB", "SystemDB"},
                                       {"ReadOnly", "ReadOnly"},
                                       {"User_Name", "UID"},
                                       {"Password", "PWD"},
                                       {"DSN", "DSN"},
                                       {"FIL", "FIL"}}};

bool Enclosed(std::string_view value) {
    return value.size() >= 2 && ((value.front() == '{' && value.back() == '}') ||
                                 (value.front() == '"' && value.back() == '"'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<std::string> params;
    std::array<std::string, kKeys.size()> values;
    std::array<bool, kKeys.size()> given{};
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
        if (input.ConsumeBool()) {
            given[k] = true;
            values[k] = input.ConsumeRandomLengthString(64);
            std::string key = kKeys[k].name;
            // Keys match in any letter case.
            if (input.ConsumeBool()) {
                for (char& c : key) {
                    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
                }
            }
            params.push_back(key + "=" + values[k]);
        }
    }
    // Keys of no meaning to the string, DriverID among them.
    params.push_back("DriverID=" + input.ConsumeRandomLengthString(16));
    params.push_back("Extra" + input.ConsumeRemainingBytesAsString());

    const std::string built = orvanta::db::BuildConnectionString(params);
    FUZZ_CHECK(built.rfind(orvanta::db::kAccessDriverPart, 0) == 0);
    // What an enclosed value holds is the caller's business: it may well define more keys.
    bool anyEnclosed = false;
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
        anyEnclosed = anyEnclosed || (given[k] && Enclosed(values[k]));
    }
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
        const std::string read = orvanta::db::ConnectionStringValue(built, kKeys[k].keyword);
        if (anyEnclosed) {
            continue;
        }
        if (!given[k] || values[k].empty()) {
            FUZZ_CHECK(read.empty());
        } else {
            FUZZ_CHECK(read == values[k]);
        }
    }
    // Plain values are written as they are.
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
        if (values[k].find_first_of("!()*,;=?@[]{}\"") == std::string::npos) {
            FUZZ_CHECK(orvanta::db::WrappedValue(values[k]) == values[k]);
        }
    }
    return 0;
}
