// The byte layout of a fuzz input: a few header bytes, then pieces, each a tag and its
// fields. Numbers are little-endian; a byte string is its 16-bit length and its bytes. A
// read past the end gives zeros (a byte string is cut at the end), so every input, however
// short, describes something. FuzzWriter writes the same layout, for the seed corpora.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class FuzzReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() {
        uint16_t low = Byte();
        return static_cast<uint16_t>(low | Byte() << 8);
    }
    uint32_t Dword() {
        uint32_t low = Word();
        return low | static_cast<uint32_t>(Word()) << 16;
    }
    std::vector<uint8_t> Bytes() {
        size_t length = Word();
        if (length > size_ - at_) length = size_ - at_;
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + length);
        at_ += length;
        return out;
    }
    std::string Text() {
        std::vector<uint8_t> bytes = Bytes();
        return std::string(bytes.begin(), bytes.end());
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

class FuzzWriter {
public:
    void Byte(uint8_t b) { out_.push_back(b); }
    void Word(uint16_t w) {
        Byte(static_cast<uint8_t>(w));
        Byte(static_cast<uint8_t>(w >> 8));
    }
    void Dword(uint32_t d) {
        Word(static_cast<uint16_t>(d));
        Word(static_cast<uint16_t>(d >> 16));
    }
    // Byte strings longer than a length can say are cut.
    void Bytes(const std::vector<uint8_t>& bytes) {
        size_t length = bytes.size() < 0xFFFF ? bytes.size() : 0xFFFF;
        Word(static_cast<uint16_t>(length));
        out_.insert(out_.end(), bytes.begin(), bytes.begin() + length);
    }
    void Text(const std::string& text) { Bytes(std::vector<uint8_t>(text.begin(), text.end())); }
    const std::vector<uint8_t>& bytes() const { return out_; }

private:
    std::vector<uint8_t> out_;
};

}  // namespace fuzz
