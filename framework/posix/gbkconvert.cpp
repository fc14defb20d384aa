// GBK to UTF-8 and back on POSIX: iconv.
#include <iconv.h>

#include <cerrno>

#include "framework/gbktext.h"
#include "framework/sysdeps.h"

namespace fw::gbk {
namespace {

// Used when iconv cannot even be opened: ASCII passes, everything else is
// shown as unreadable rather than guessed at.
std::string AsciiOnly(std::string_view text, bool escape) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            char unreadable[4];
            out.append(unreadable, WriteUnreadable(c, escape, unreadable, sizeof unreadable));
            if (!escape && IsLeadByte(c) && i + 1 < text.size()) ++i;
        }
    }
    return out;
}

class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

}  // namespace

std::string ConvertToUtf8(std::string_view text, bool escape) {
    IconvHandle cd("UTF-8", "GBK");
    if (!cd.valid()) return AsciiOnly(text, escape);

    std::string out;
    // Every GBK byte becomes at most three UTF-8 bytes, a replacement
    // included, or four as an escape.
    out.resize(text.size() * 4 + 4);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();

    while (inLeft > 0) {
        if (iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == EILSEQ || errno == EINVAL) {
            // Not GBK (or cut off at the end): show one replacement and
            // resynchronise at the next byte.
            const std::size_t n =
                WriteUnreadable(static_cast<unsigned char>(*in), escape, outPtr, outLeft);
            if (n == 0) break;
            outPtr += n;
            outLeft -= n;
            ++in;
            --inLeft;
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        } else {
            break;  // E2BIG cannot happen with the size above
        }
    }
    out.resize(static_cast<std::size_t>(outPtr - out.data()));
    return out;
}

std::string ConvertFromUtf8(std::string_view text, bool& whole) {
    whole = true;
    IconvHandle cd("GBK", "UTF-8");
    std::string out;
    // A GBK character is never longer than its UTF-8 form, nor is "?" longer
    // than the bytes it stands for.
    out.resize(text.size());
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (cd.valid() &&
            iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (cd.valid() && errno != EILSEQ && errno != EINVAL) break;
        // No GBK form, not UTF-8, or no iconv at all (then only ASCII passes):
        // one "?" for the whole UTF-8 sequence.
        const unsigned char c = static_cast<unsigned char>(*in);
        if (c < 0x80 && !cd.valid()) {
            *outPtr++ = static_cast<char>(c);
        } else {
            *outPtr++ = '?';
            whole = false;
        }
        --outLeft;
        do {
            ++in;
            --inLeft;
        } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80 && c >= 0xC0);
        if (cd.valid()) iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(static_cast<std::size_t>(outPtr - out.data()));
    return out;
}

}  // namespace fw::gbk
