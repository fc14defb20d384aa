// Pins the time zone of the process (TZ, then tzset) for one test and puts
// back what was there, or no TZ at all, when destroyed. Takes a zone name
// ("Asia/Shanghai") or a POSIX rule ("CST-8"). The zone is process-wide, so
// this is for tests that run one per process, as CTest runs them. Not copyable.
#pragma once

#include <optional>
#include <string>

namespace ts {

class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> previous_;
};

}  // namespace ts
