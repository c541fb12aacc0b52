// The fuzz input read as a program: bytes taken from the front (zeros once
// they run out) and turned into the arguments of the calls, shaped so that
// edge values and accepted input come up often.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/model.h"

namespace fuzzmodel {

class Program {
  public:
    Program(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}

    bool done() const { return at_ == end_; }
    uint8_t byte() { return at_ == end_ ? 0 : *at_++; }
    uint32_t u32() {
        const uint32_t b0 = byte(), b1 = byte(), b2 = byte(), b3 = byte();
        return b0 | b1 << 8 | b2 << 16 | b3 << 24;
    }
    Bytes bytes(size_t n) {
        n = std::min(n, size_t(end_ - at_));
        Bytes out(at_, at_ + n);
        at_ += n;
        return out;
    }

    // Small, within a few bars, anywhere, or the tick of the previous call.
    uint32_t tick() {
        switch (byte() % 4) {
            case 0:
                return last_ = byte();
            case 1:
                return last_ = u32() % 4000;
            case 2:
                return last_ = u32();
            default:
                return last_;
        }
    }

    int32_t number() {
        static const int32_t edges[] = {-8193, -8192, -2,        -1,       0,    1,
                                        15,    16,    127,       128,      8191, 8192,
                                        16383, 16384, INT32_MIN, INT32_MAX};
        const uint8_t choice = byte();
        if (choice < 96) return choice;
        return choice < 200 ? edges[choice % 16] : int32_t(u32());
    }

    // Arbitrary bytes, or a block long enough for a 3-byte length prefix; the
    // first and last may be set to what an inserter looks for (a status byte
    // takes its channel from the input).
    Bytes data(uint8_t first, uint8_t last) {
        const uint8_t shape = byte();
        Bytes out = shape >= 0xF0 ? Bytes(0x4000 + u32() % 2048, 0x33) : bytes(shape % 48);
        if (shape & 0x40 && !out.empty()) {
            out.front() = first >= 0xF0 ? first : uint8_t(first | (out.front() & 0x0F));
        }
        if (shape & 0x80 && out.size() > 1) out.back() = last;
        return out;
    }

    // The length passed with data: its own, a shorter one, or a negative one.
    int32_t lengthOf(const Bytes& data) {
        const uint8_t choice = byte();
        const auto size = int32_t(data.size());
        if (choice >= 250) return -int32_t(byte());
        return choice < 200 || size == 0 ? size : size - 1 - choice % size;
    }

    // Raw bytes, or hexadecimal tokens of varied case and spacing, often
    // between F0 and F7.
    std::string text() {
        const uint8_t shape = byte();
        if (shape < 128) {
            const Bytes raw = bytes(shape % 64);
            return std::string(raw.begin(), raw.end());
        }
        static const char* const separators[] = {" ", "\t", "\r\n", "  \v", "\f", ","};
        std::string hex;
        for (uint8_t b : bytes(shape % 24)) {
            char token[8];
            std::snprintf(token, sizeof token, b & 1 ? "%02x" : b & 2 ? "%X" : "%02X", b);
            hex += token;
            hex += separators[b % 6];
        }
        return shape & 1 ? "F0 " + hex + " F7" : hex;
    }

  private:
    const uint8_t* at_;
    const uint8_t* end_;
    uint32_t last_ = 0;
};

}  // namespace fuzzmodel
