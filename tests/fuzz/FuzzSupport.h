#pragma once
// Shared by the fuzz targets: a check that stops the run with its text, and
// fuzz bytes read as text the way the window could receive it.

#include <fuzzer/FuzzedDataProvider.h>

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// abort() is what libFuzzer turns into a kept crash input.
#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

// Raw UTF-16 reaches lone surrogates, which UTF-8 decoding never gives; UTF-8
// reaches typed text with fewer fuzz bytes.
inline QString fuzzText(FuzzedDataProvider &in, size_t maxBytes)
{
    const bool utf16 = in.ConsumeBool();
    const std::string raw = in.ConsumeRandomLengthString(maxBytes);
    if (utf16) {
        QString text(static_cast<qsizetype>(raw.size() / 2), Qt::Uninitialized);
        std::memcpy(text.data(), raw.data(), 2 * (raw.size() / 2));
        return text;
    }
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

inline QString fuzzText(FuzzedDataProvider &in)
{
    return fuzzText(in, in.remaining_bytes());
}
