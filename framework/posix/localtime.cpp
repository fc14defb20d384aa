// The local time zone on POSIX: localtime_r (TZ, else /etc/localtime).
#include "framework/clock.h"

namespace fw {

bool ToLocalTime(std::time_t t, std::tm& local) { return localtime_r(&t, &local) != nullptr; }

}  // namespace fw
