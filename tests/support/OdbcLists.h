#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orvanta::test {

// The name the manager's connection string asks the driver manager for.
inline constexpr const char* kAccessDriverName = "Microsoft Access Driver (*.mdb)";

// A data source "registry" over the file registry.sqlite in the lists' folder, reached through
// the driver listed under the Access driver's name.
inline constexpr const char* kRegistryDataSource =
    "[registry]\nDriver=Microsoft Access Driver (*.mdb)\nDatabase={folder}/registry.sqlite\n";

struct OdbcDriverEntry {
    std::string name;     // the section name, as DRIVER={...} asks for it
    std::string library;  // full path of the driver's shared library
};

// Points unixODBC at a driver list and a data source list that the test writes, so no test
// reads or changes the system's (/etc/odbcinst.ini). The driver manager reads the folder's
// name once per process, so a process sets up its lists once, before its first connect; the
// files stay until the process ends. Calling it again returns the folder of the first call.
// "{folder}" in the data source list stands for the lists' folder.
inline const std::filesystem::path& UseTestOdbcLists(const std::vector<OdbcDriverEntry>& drivers,
                                                     const std::string& dataSources = {}) {
    static const std::filesystem::path folder = [&] {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("orvanta-odbc-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::ofstream list(path / "odbcinst.ini");
        for (const OdbcDriverEntry& driver : drivers) {
            list << '[' << driver.name << "]\nDriver=" << driver.library << "\n\n";
        }
        std::string sources = dataSources;
        for (std::size_t at = sources.find("{folder}"); at != std::string::npos;
             at = sources.find("{folder}", at)) {
            sources.replace(at, 8, path.string());
        }
        std::ofstream(path / "odbc.ini") << sources;
        ::setenv("ODBCSYSINI", path.c_str(), 1);
        ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
        ::setenv("ODBCINI", (path / "odbc.ini").c_str(), 1);
        static const std::filesystem::path removeAtExit = path;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return path;
    }();
    return folder;
}

}  // namespace orvanta::test
