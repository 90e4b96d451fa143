#include "db/OdbcApi.h"

#include <mutex>

#include "core/Failure.h"
#include "db/Errors.h"
#include "db/LibraryLoader.h"

namespace orvanta::db {

std::string VendorLibraryText(const std::string& libraryName, const std::string& systemError) {
    return NumberedText({"Phys", "ODBC"}, 314,
                        Fill("Cannot load vendor library [%s].\r\n%sCheck [%s] is located in one "
                             "of the PATH directories or in application EXE direcrory",
                             {libraryName, systemError, libraryName}));
}

std::string VendorEntryPointText(const std::string& function, const std::string& systemError) {
    return NumberedText(
        {"Phys", "ODBC"}, 315,
        Fill("Cannot get vendor library entry point [%s].\r\n%s", {function, systemError}));
}

void OdbcApi::RaiseMissing(const char* name) const {
    const auto found = missing.find(name);
    throw Failure(found != missing.end() ? found->second : VendorEntryPointText(name, ""));
}

std::shared_ptr<const OdbcApi> LoadDriverManager(
    const std::string& libraryName, const std::function<void(const std::string&)>& reportMissing) {
    // One table per library name, shared by every connection made through it.
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const OdbcApi>> loaded;
    std::unique_lock<std::mutex> lock(mutex);
    const auto found = loaded.find(libraryName);
    if (found != loaded.end()) {
        return found->second;
    }
    std::string error;
    void* library = LoadLibraryByName(libraryName, error);
    if (!library) {
        throw Failure(VendorLibraryText(libraryName, error));
    }
    auto api = std::make_shared<OdbcApi>();
    api->libraryName = libraryName;
    std::vector<std::string> reports;
#define ORVANTA_ODBC_RESOLVE(name)                                                \
    {                                                                             \
        std::string entryError;                                                   \
        const LibraryFunction fn = LibraryEntryPoint(library, #name, entryError); \
        if (fn) {                                                                 \
            api->name = reinterpret_cast<decltype(api->name)>(fn);                \
        } else {                                                                  \
            api->missing[#name] = VendorEntryPointText(#name, entryError);        \
            reports.push_back(api->missing[#name]);                               \
        }                                                                         \
    }
    ORVANTA_ODBC_FUNCTIONS(ORVANTA_ODBC_RESOLVE)
#undef ORVANTA_ODBC_RESOLVE
    loaded.emplace(libraryName, api);
    lock.unlock();
    // Shown in the order the functions were looked up, after the table is in place, so a box
    // that runs the event loop cannot re-enter a half-made table.
    for (const std::string& report : reports) {
        if (reportMissing) {
            reportMissing(report);
        }
    }
    return api;
}

}  // namespace orvanta::db
