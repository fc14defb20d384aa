#include "tests/support/ScopedTimeZone.h"

#include <cstdlib>
#include <ctime>

namespace ts {

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    setenv("TZ", zone, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (previous_)
        setenv("TZ", previous_->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

}  // namespace ts
