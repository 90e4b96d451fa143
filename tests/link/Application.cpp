#include <gtest/gtest.h>

#include "tests/link/LinkDoubles.h"

namespace orvanta::link::test {

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "link_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

}  // namespace orvanta::link::test
