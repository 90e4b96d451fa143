#include "db/DefaultDriver.h"
#include "db/OdbcDriver.h"

namespace orvanta::db {

std::unique_ptr<Driver> MakeDefaultDriver() {
    return std::make_unique<OdbcDriver>();
}

}  // namespace orvanta::db
