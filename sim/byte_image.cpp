#include "byte_image.h"

#include <algorithm>

namespace sim {

BytePatch TextAt(size_t at, const std::string& text) {
    return BytePatch{at, std::vector<BYTE>(text.begin(), text.end())};
}

BytePatch BytesAt(size_t at, std::vector<BYTE> bytes) { return BytePatch{at, std::move(bytes)}; }

std::vector<BYTE> ByteImage(size_t size, BYTE fill, const std::vector<BytePatch>& patches) {
    std::vector<BYTE> image(std::min(size, kMaxByteImage), fill);
    for (const BytePatch& p : patches)
        for (size_t i = 0; i < p.bytes.size() && p.at + i < image.size(); ++i)
            image[p.at + i] = p.bytes[i];
    return image;
}

void ApplyPatches(std::vector<BYTE>* image, const std::vector<BytePatch>& patches) {
    for (const BytePatch& p : patches) {
        if (p.at >= kMaxByteImage) continue;
        size_t end = std::min(p.at + p.bytes.size(), kMaxByteImage);
        if (image->size() < end) image->resize(end, 0);
        std::copy(p.bytes.begin(), p.bytes.begin() + static_cast<long>(end - p.at),
                  image->begin() + static_cast<long>(p.at));
    }
}

}  // namespace sim
