#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <system_error>
#include <utility>

#include "platform/utf8.h"

namespace veltra::platform {

namespace {

std::string IconvName(unsigned code_page) {
    if (code_page == 0) {
        code_page = kAnsiCodePage;
    }
    if (code_page == 65001) {
        return "UTF-8";
    }
    return "CP" + std::to_string(code_page);
}

// An iconv descriptor carries shift state and is not safe to share, so every thread keeps its own
// set; opening one per call would cost more than most conversions.
class Converter {
  public:
    explicit Converter(iconv_t cd) : cd_(cd) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() { iconv_close(cd_); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

iconv_t ConverterFor(unsigned code_page, bool to_code_page) {
    thread_local std::map<std::pair<unsigned, bool>, Converter> converters;
    const auto key = std::make_pair(code_page, to_code_page);
    if (auto found = converters.find(key); found != converters.end()) {
        iconv(found->second.get(), nullptr, nullptr, nullptr, nullptr);
        return found->second.get();
    }
    const std::string name = IconvName(code_page);
    const iconv_t cd =
        to_code_page ? iconv_open(name.c_str(), "WCHAR_T") : iconv_open("WCHAR_T", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::system_error(
            errno, std::generic_category(),
            std::string("cannot open the conversion ") + (to_code_page ? "to " : "from ") + name);
    }
    return converters.try_emplace(key, cd).first->second.get();
}

// Runs iconv over the whole input. An input unit that cannot be converted is replaced by `bad` and
// skipped (`unit` bytes: one wide character, or one byte of multi-byte text).
template <typename Out>
Out Convert(iconv_t cd, const char* in, size_t in_left, size_t unit, typename Out::value_type bad) {
    using Char = typename Out::value_type;
    // GBK needs up to two bytes per wide character; wide output needs at most one per byte.
    Out out(in_left / unit * (sizeof(Char) == 1 ? 2 : 1) + 16, Char{});
    size_t used = 0;
    while (in_left > 0) {
        char* in_ptr = const_cast<char*>(in);
        char* out_ptr = reinterpret_cast<char*>(out.data() + used);
        size_t out_left = (out.size() - used) * sizeof(Char);
        const size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
        const int error = errno;
        in = in_ptr;
        used = out.size() - out_left / sizeof(Char);
        if (result != static_cast<size_t>(-1)) {
            break;
        }
        if (error == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL (a sequence cut off by the end of the input).
        if (used == out.size()) {
            out.resize(out.size() * 2);
        }
        out[used++] = bad;
        in += unit;
        in_left -= unit;
    }
    // Flush any shift state; CP936 has none, but other code pages may.
    for (;;) {
        char* out_ptr = reinterpret_cast<char*>(out.data() + used);
        size_t out_left = (out.size() - used) * sizeof(Char);
        const size_t result = iconv(cd, nullptr, nullptr, &out_ptr, &out_left);
        used = out.size() - out_left / sizeof(Char);
        if (result != static_cast<size_t>(-1) || errno != E2BIG) {
            break;
        }
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return out;
}

}  // namespace

std::string ConvertToCodePage(std::wstring_view text, unsigned code_page) {
    const iconv_t cd = ConverterFor(code_page, true);
    if (text.empty()) {
        return {};
    }
    const auto* in = reinterpret_cast<const char*>(text.data());
    return Convert<std::string>(cd, in, text.size() * sizeof(wchar_t), sizeof(wchar_t), '?');
}

std::wstring ConvertFromCodePage(std::string_view text, unsigned code_page) {
    const iconv_t cd = ConverterFor(code_page, false);
    if (text.empty()) {
        return {};
    }
    return Convert<std::wstring>(cd, text.data(), text.size(), 1, L'?');
}

std::string HostNameToWireCodePage(std::string_view host_name) {
    const bool ascii = std::all_of(host_name.begin(), host_name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return std::string(host_name);
    }
    return ConvertToCodePage(Utf8ToWide(host_name), kAnsiCodePage);
}

}  // namespace veltra::platform
