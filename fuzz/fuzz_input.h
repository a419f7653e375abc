#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Reads a fuzzer's input from the front as a stream of small decisions. Once the bytes run
// out every read yields its lowest value, so any input decodes to a finite call sequence.
// (Our own reader rather than libFuzzer's, so that the fuzzers also build with GCC and replay
// their corpora in the regular test suite.)
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : _data(data), _end(data + size) {}

    bool empty() const { return _data == _end; }
    uint8_t byte() { return empty() ? 0 : *_data++; }
    bool flag() { return byte() & 1; }

    // A value in [lo, hi], both included.
    int intInRange(int lo, int hi) {
        const uint64_t span = uint64_t(int64_t(hi) - int64_t(lo));
        if (int64_t(hi) <= int64_t(lo)) return lo;
        uint64_t value = 0;
        for (uint64_t reach = span; reach != 0; reach >>= 8) value = (value << 8) | byte();
        return int(int64_t(lo) + int64_t(value % (span + 1)));
    }

    // Up to maxLength raw bytes.
    QByteArray bytes(int maxLength) {
        QByteArray out;
        for (int n = intInRange(0, maxLength); n > 0 && !empty(); --n) out.append(char(byte()));
        return out;
    }

private:
    const uint8_t* _data;
    const uint8_t* _end;
};
