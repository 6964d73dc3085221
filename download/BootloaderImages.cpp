#include "download/BootloaderImages.h"

#include <cstring>

namespace tamrix {

const EmbeddedBootloaderImage* FindBootloaderImage(uint16_t resourceId) {
    size_t count = 0;
    const EmbeddedBootloaderImage* images = EmbeddedBootloaderImages(count);
    for (size_t i = 0; i < count; ++i) {
        if (images[i].resourceId == resourceId)
            return &images[i];
    }
    return nullptr;
}

bool LoadBootloaderImage(uint8_t* imageBuffer, uint16_t resourceId, int& imageSize) {
    const EmbeddedBootloaderImage* image = FindBootloaderImage(resourceId);
    const std::optional<int> size =
        image != nullptr ? CopyBootloaderImage(*image, imageBuffer) : std::nullopt;
    if (size)
        imageSize = *size;
    return size.has_value();
}

std::optional<int> CopyBootloaderImage(const EmbeddedBootloaderImage& image, uint8_t* imageBuffer) {
    // The build keeps every image within the limit; an image past it is treated as absent rather
    // than copied past the end of the caller's buffer.
    if (image.size > static_cast<size_t>(kBootloaderImageLimit))
        return std::nullopt;
    std::memcpy(imageBuffer, image.bytes, image.size);
    return static_cast<int>(image.size);
}

}  // namespace tamrix
