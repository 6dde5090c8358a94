// Byte images written compactly: a size, a fill byte and patches at offsets, so that "a
// 512-byte page with SM at 430 and 3255AB at 432" is one line of a table or a scenario.
#pragma once

#include <simwin/windef.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

struct BytePatch {
    size_t at = 0;
    std::vector<BYTE> bytes;
};

// A patch of text (its characters, no terminating NUL) or of bytes.
BytePatch TextAt(size_t at, const std::string& text);
BytePatch BytesAt(size_t at, std::vector<BYTE> bytes);

// The largest image a description may ask for.
constexpr size_t kMaxByteImage = 1024 * 1024;

// `size` bytes of `fill` with the patches laid over them in order. A patch that reaches
// past the end is cut at the end.
std::vector<BYTE> ByteImage(size_t size, BYTE fill, const std::vector<BytePatch>& patches);

// Lays `patches` over `image`, growing it when a patch reaches past its end.
void ApplyPatches(std::vector<BYTE>* image, const std::vector<BytePatch>& patches);

}  // namespace sim
