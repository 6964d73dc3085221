#pragma once
// The bootloader images the program carries for 16-bit PIC targets (ids 165, 166, 167, 170, 171):
// Intel HEX texts compiled in from resources/bootloader/bootloader-<id>.hex. When the bootloader
// decision names one of them, the download process loads it into its text buffer and programs it
// exactly like a firmware file.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tamrix {

// An image may be at most this long; the build refuses a longer one. The number is the build's
// (download/CMakeLists.txt), so the check there and the copy here cannot disagree.
inline constexpr int kBootloaderImageLimit = TAMRIX_BOOTLOADER_IMAGE_LIMIT;

struct EmbeddedBootloaderImage {
    uint16_t resourceId;
    const uint8_t* bytes;  // the HEX text, byte for byte as in its file; not NUL-terminated
    size_t size;
    // A stand-in made by scripts/make-bootloader-images (its SHA-256 is listed in
    // resources/bootloader/placeholders.sha256): it has the real image's shape but no working
    // code, and must never be programmed into a product.
    bool placeholder;
};

// Every image compiled into the program (in a generated source); `count` receives their number.
const EmbeddedBootloaderImage* EmbeddedBootloaderImages(size_t& count);

// The image with this id, or null.
const EmbeddedBootloaderImage* FindBootloaderImage(uint16_t resourceId);

// Copies the image with this id to the start of `imageBuffer` (zero-filled by the caller; no
// terminator is added) and sets `imageSize` to its length: true. An id with no image: false, and
// neither the buffer nor `imageSize` is touched.
[[nodiscard]] bool LoadBootloaderImage(uint8_t* imageBuffer, uint16_t resourceId, int& imageSize);

// The same for an image already found: its length, or nothing (and nothing touched) when it is
// too large.
[[nodiscard]] std::optional<int> CopyBootloaderImage(const EmbeddedBootloaderImage& image,
                                                     uint8_t* imageBuffer);

}  // namespace tamrix
