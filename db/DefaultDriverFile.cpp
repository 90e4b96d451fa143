#include "db/DatabaseFileDriver.h"
#include "db/DefaultDriver.h"

namespace orvanta::db {

std::unique_ptr<Driver> MakeDefaultDriver() {
    return std::make_unique<DatabaseFileDriver>();
}

}  // namespace orvanta::db
