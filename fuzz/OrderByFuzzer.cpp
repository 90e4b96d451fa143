// The ORDER BY finder of the count statement. For any text, a place it finds is the words
// ORDER BY (any case, one blank) at the start or after a blank or line break. For the
// registry's own statements around a quoted group name of any bytes, it finds exactly the
// statement's ORDER BY, never words inside the name, and nothing when there is none.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <string_view>

#include "core/Text.h"
#include "db/SqlText.h"
#include "fuzz/Check.h"

namespace {

using orvanta::db::QuotedLiteral;

void CheckFoundPlace(std::string_view sql) {
    const std::size_t at = orvanta::db::FindOrderBy(sql);
    if (at == std::string_view::npos) {
        return;
    }
    FUZZ_CHECK(at + 8 <= sql.size());
    FUZZ_CHECK(orvanta::EqualsIgnoreCaseAscii(sql.substr(at, 8), "ORDER BY"));
    FUZZ_CHECK(at == 0 || sql[at - 1] == ' ' || sql[at - 1] == '\t' || sql[at - 1] == '\r' ||
               sql[at - 1] == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int form = input.ConsumeIntegralInRange(0, 3);
    const std::string text = input.ConsumeRemainingBytesAsString();
    if (form == 0) {
        CheckFoundPlace(text);
        (void)orvanta::db::UpdateTableOf(text);
        return 0;
    }
    const std::string head = form == 1 ? "select * from manager where manager_list_name="
                                       : "select * from manager where attivo=1 and "
                                         "manager_list_name=";
    const std::string condition = head + QuotedLiteral(text);
    const std::string order =
        form == 3 ? " order by player_ip DESC" : " order by manager_list_name";
    const std::string statement = condition + order;
    CheckFoundPlace(statement);
    FUZZ_CHECK(orvanta::db::FindOrderBy(statement) == condition.size() + 1);
    FUZZ_CHECK(orvanta::db::FindOrderBy(condition) == std::string::npos);
    FUZZ_CHECK(orvanta::db::UpdateTableOf(statement) == "manager");
    return 0;
}
