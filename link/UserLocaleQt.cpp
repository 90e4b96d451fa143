#include <QLocale>

#include "link/SystemLocale.h"
#include "link/UserLocale.h"

namespace orvanta::link {

LocaleDescription SystemLocaleDescription() {
    return DescribeLocale(QLocale::system());
}

}  // namespace orvanta::link
