// Collects the module's diagnostic trace lines for the lifetime of the
// object: the constructor installs a capturing sink, the destructor puts the
// previous sink back. Use from the test's thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framework/trace.h"

namespace ts {

class TraceCapture {
  public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Every line written so far, each as formatted (with its own "\n").
    const std::vector<std::string>& Lines() const { return lines_; }
    // All lines concatenated.
    std::string Text() const;
    // Lines containing substr.
    std::size_t Count(std::string_view substr) const;
    void Clear() { lines_.clear(); }

  private:
    std::vector<std::string> lines_;
    fw::TraceSink previous_;
};

}  // namespace ts
