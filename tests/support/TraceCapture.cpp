#include "tests/support/TraceCapture.h"

namespace ts {

bool IsLedgerNotice(std::string_view line) {
    return line.find("no import ledger in the database") != std::string_view::npos;
}

TraceCapture::TraceCapture() {
    previous_ = fw::SetTraceSink([this](std::string_view line) {
        if (IsLedgerNotice(line))
            ++ledgerNotices_;
        else
            lines_.emplace_back(line);
    });
}

TraceCapture::~TraceCapture() { fw::SetTraceSink(std::move(previous_)); }

std::string TraceCapture::Text() const {
    std::string all;
    for (const auto& line : lines_) all += line;
    return all;
}

std::size_t TraceCapture::Count(std::string_view substr) const {
    std::size_t n = 0;
    for (const auto& line : lines_)
        if (line.find(substr) != std::string::npos) ++n;
    return n;
}

}  // namespace ts
