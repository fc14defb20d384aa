// Collects the module's diagnostic trace lines for the lifetime of the
// object: the constructor installs a capturing sink, the destructor puts the
// previous sink back. Use from the test's thread only.
//
// The once-per-call notice of a database without the import ledger is
// counted apart (LedgerNotices) rather than kept among the lines, so that the
// suite's line counts hold on such a database too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framework/trace.h"

namespace ts {

// The notice a call without the import ledger writes once.
bool IsLedgerNotice(std::string_view line);

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
    void Clear() {
        lines_.clear();
        ledgerNotices_ = 0;
    }
    std::size_t LedgerNotices() const { return ledgerNotices_; }

  private:
    std::vector<std::string> lines_;
    std::size_t ledgerNotices_ = 0;
    fw::TraceSink previous_;
};

}  // namespace ts
