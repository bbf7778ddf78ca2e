#include "numfmt.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// The value's 15 significant digits and decimal exponent: |v| = 0.d1 d2 ... d15 * 10^point.
struct Decimal15 {
    char digits[15];
    int point;
};

__extension__ typedef unsigned __int128 u128;

constexpr u128 Pow10(int p) {
    u128 v = 1;
    for (int i = 0; i < p; ++i)
        v *= 10;
    return v;
}

constexpr int kMaxPow = 38;
constexpr auto kPow10 = [] {
    std::array<u128, kMaxPow + 1> t{};
    for (int p = 0; p <= kMaxPow; ++p)
        t[static_cast<size_t>(p)] = Pow10(p);
    return t;
}();

int BitLength(u128 v) {
    const auto hi = static_cast<uint64_t>(v >> 64);
    if (hi) return 128 - __builtin_clzll(hi);
    const auto lo = static_cast<uint64_t>(v);
    return lo ? 64 - __builtin_clzll(lo) : 0;
}

// The 15 decimal digits of q < 10^15, two at a time in 32-bit arithmetic.
void WriteDigits15(uint64_t q, char* out) {
    static constexpr auto kPairs = [] {
        std::array<char, 200> t{};
        for (int i = 0; i < 100; ++i) {
            t[static_cast<size_t>(2 * i)] = static_cast<char>('0' + i / 10);
            t[static_cast<size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
        }
        return t;
    }();
    auto hi = static_cast<uint32_t>(q / 100000000u); // 7 digits
    auto lo = static_cast<uint32_t>(q % 100000000u); // 8 digits
    for (int i = 13; i >= 7; i -= 2) {
        std::memcpy(out + i, &kPairs[(lo % 100u) * 2], 2);
        lo /= 100u;
    }
    for (int i = 5; i >= 1; i -= 2) {
        std::memcpy(out + i, &kPairs[(hi % 100u) * 2], 2);
        hi /= 100u;
    }
    out[0] = static_cast<char>('0' + hi);
}

// Exact rounding to 15 digits with 128-bit integers: a = m * 2^-s, digits = round(a * 10^p).
// Covers every value the files hold (volts, spectrum lines, resolutions); false when the
// value is outside its reach, and the general conversion takes over.
bool FastDecimal15(double a, Decimal15& d) {
    const auto bits = std::bit_cast<uint64_t>(a);
    const auto field = static_cast<int>((bits >> 52) & 0x7FF);
    if (field == 0 || field == 0x7FF) return false;
    uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    int e = field - 1075;
    const int tz = __builtin_ctzll(m);
    m >>= tz;
    e += tz;
    if (e >= 0) return false;
    const int s = -e;
    if (s >= 127) return false;
    const int mBits = 64 - __builtin_clzll(m);
    // floor(log10(a)) from the binary exponent, perhaps one too low; the loop corrects it.
    int e10 = ((field - 1023) * 78913) >> 18;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int p = 14 - e10;
        if (p < 0 || p > kMaxPow) return false;
        const u128 pw = kPow10[static_cast<size_t>(p)];
        if (mBits + BitLength(pw) > 127) return false;
        const u128 n = static_cast<u128>(m) * pw;
        u128 q = n >> s;
        if (q < kPow10[14]) {
            --e10;
            continue;
        }
        const u128 r = n & ((static_cast<u128>(1) << s) - 1);
        const u128 half = static_cast<u128>(1) << (s - 1);
        if (r > half || (r == half && (q & 1))) ++q;
        if (q >= kPow10[15]) {
            ++e10;
            continue;
        }
        WriteDigits15(static_cast<uint64_t>(q), d.digits);
        d.point = e10 + 1;
        return true;
    }
    return false;
}

Decimal15 ToDecimal15(double a) {
    Decimal15 d{};
    if (a != 0.0 && FastDecimal15(a, d)) return d;
    if (a == 0.0) {
        std::memset(d.digits, '0', sizeof d.digits);
        d.point = 1;
        return d;
    }
    char buf[40];
    auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
    // buf: "d.dddddddddddddde[+-]xx"
    d.digits[0] = buf[0];
    std::memcpy(d.digits + 1, buf + 2, 14);
    int exp = 0;
    std::from_chars(buf + 17 + (buf[17] == '+' ? 1 : 0), res.ptr, exp);
    d.point = exp + 1;
    return d;
}

const char* NonFinite(double v) {
    if (std::isnan(v)) return "NAN";
    return v < 0 ? "-INF" : "INF";
}

} // namespace

std::string FormatFixed(double value, int decimals) {
    if (!std::isfinite(value)) return NonFinite(value);
    if (decimals < 0) decimals = 0;
    const bool neg = std::signbit(value);
    const Decimal15 d = ToDecimal15(std::fabs(value));

    // Digits kept: everything up to `decimals` places after the point.
    std::string ds(d.digits, 15);
    int point = d.point;
    int keep = point + decimals;
    if (keep < 0) {
        ds.clear();
    } else if (keep < 15) {
        const bool up = ds[static_cast<size_t>(keep)] >= '5';
        ds.resize(static_cast<size_t>(keep));
        if (up) {
            int i = keep - 1;
            for (; i >= 0; --i) {
                if (ds[static_cast<size_t>(i)] == '9') {
                    ds[static_cast<size_t>(i)] = '0';
                } else {
                    ++ds[static_cast<size_t>(i)];
                    break;
                }
            }
            if (i < 0) {
                ds.insert(ds.begin(), '1');
                ++point;
            }
        }
    }
    // Digit at position p counted from the point (p = 0 is the first after it): ds[point + p].
    auto digitAt = [&](int idx) -> char {
        return idx >= 0 && idx < static_cast<int>(ds.size()) ? ds[static_cast<size_t>(idx)] : '0';
    };
    std::string out;
    out.reserve(24);
    if (point <= 0) {
        out.push_back('0');
    } else {
        for (int i = 0; i < point; ++i)
            out.push_back(digitAt(i));
    }
    if (decimals > 0) {
        out.push_back('.');
        for (int p = 0; p < decimals; ++p)
            out.push_back(digitAt(point + p));
    }
    if (neg && out.find_first_of("123456789") != std::string::npos) out.insert(out.begin(), '-');
    return out;
}

int FormatGeneralTo(char* out, double value) {
    char* p = out;
    if (!std::isfinite(value)) {
        const char* t = NonFinite(value);
        size_t n = std::strlen(t);
        std::memcpy(p, t, n);
        return static_cast<int>(n);
    }
    if (value == 0.0) {
        *p = '0';
        return 1;
    }
    if (value < 0) *p++ = '-';
    const Decimal15 d = ToDecimal15(std::fabs(value));
    int n = 15;
    while (n > 1 && d.digits[n - 1] == '0')
        --n;
    const int exp = d.point - 1;
    if (exp < -4 || exp >= 15) {
        *p++ = d.digits[0];
        if (n > 1) {
            *p++ = '.';
            std::memcpy(p, d.digits + 1, static_cast<size_t>(n - 1));
            p += n - 1;
        }
        *p++ = 'E';
        p = std::to_chars(p, p + 8, exp).ptr;
    } else if (d.point <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = d.point; i < 0; ++i)
            *p++ = '0';
        std::memcpy(p, d.digits, static_cast<size_t>(n));
        p += n;
    } else {
        for (int i = 0; i < d.point; ++i)
            *p++ = i < n ? d.digits[i] : '0';
        if (n > d.point) {
            *p++ = '.';
            std::memcpy(p, d.digits + d.point, static_cast<size_t>(n - d.point));
            p += n - d.point;
        }
    }
    return static_cast<int>(p - out);
}

std::string FormatGeneral(double value) {
    char buf[40];
    return std::string(buf, static_cast<size_t>(FormatGeneralTo(buf, value)));
}

std::optional<int32_t> ParseInt(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    int32_t v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<double> ParseDouble(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    double v = 0;
    auto res =
        std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

void AppendNumber(std::string& out, double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}
