#pragma once
// Firmware files ("Upgrade Binary File", usually *.bin): Intel HEX text with every byte XORed with
// the keystream of CKeystream. ConvertBinFile turns such a file back into text in the download
// buffer; the same XOR the other way makes firmware files from Intel HEX (tamrix-cli convert,
// the tests' sample firmware).

#include <cstdint>
#include <string>
#include <vector>

namespace tamrix {

class CReportWindow;

// The download process's text buffer: 1 MiB, zero-filled before every load so that the loaded
// text is always followed by NUL bytes.
inline constexpr int kImageBufferSize = 1048576;

// The seed of the keystream. Every firmware file is scrambled with the keystream that starts
// from this one seed, and a file reads back correctly only with the seed its producer used:
// files made by a producer that used another seed need that seed passed explicitly (--seed of
// tamrix-cli). Changing this value makes every firmware file already in the field unreadable.
inline constexpr uint32_t kConversionSeed = 0x54414D58u;  // "TAMX"

// Reads the firmware file at `path` and stores its unscrambled text at the start of
// `imageBuffer` (kImageBufferSize bytes, zero-filled by the caller; no terminator is added).
// Returns 1 with `imageSize` = the file's length, or 0 after a status line to `window` (nothing
// is reported without a window):
//   the file is missing, not a regular file, not readable, or being written by another
//   instance of this program  -> "[Error] : Bin File Open Fail - Convert\r\n"
//   the file is empty, nothing could be read, or it delivered fewer bytes than its size (cut
//   short or still being written while read)  -> "[Error] : Bin File Read Fail - Convert \r\n"
//   the file does not fit the buffer  -> a "Bin File Too Large" line; the buffer is untouched.
// The file is opened for reading only, under a shared advisory lock taken without waiting: it
// keeps out an instance of this program that writes into the file (a log or report pointed at
// it), not other readers or copy tools, which take no lock. Write access is never needed: a file
// on read-only media or without write permission loads as any other.
[[nodiscard]] int ConvertBinFile(uint8_t* imageBuffer, CReportWindow* window,
                                 const std::string& path, int& imageSize,
                                 uint32_t seed = kConversionSeed);

// The SHA-256 of the firmware file that unscrambles to `text` with `seed`, made again from the
// text: the file's bytes as they were read, whatever happened to the file on disk since.
[[nodiscard]] std::string FirmwareFileSha256(const std::vector<uint8_t>& text,
                                             uint32_t seed = kConversionSeed);

// XORs `count` bytes in place with the keystream that starts from `seed`. Scrambling and
// unscrambling are the same operation.
void ApplyKeystream(uint8_t* bytes, size_t count, uint32_t seed = kConversionSeed);

// `bytes` scrambled (or unscrambled) with the keystream that starts from `seed`.
[[nodiscard]] std::vector<uint8_t> ScrambleBytes(std::vector<uint8_t> bytes,
                                                 uint32_t seed = kConversionSeed);

// Writes `hexText` scrambled as a firmware file at `path` (created or replaced whole, never
// truncated in place). False with a reason in `error` when the file cannot be written, or when
// `path` is something other than a regular file (a symbolic link, device, FIFO or folder, which
// is left alone); on failure an existing file stays as it was.
[[nodiscard]] bool WriteFirmwareFile(const std::string& path, const std::vector<uint8_t>& hexText,
                                     uint32_t seed, std::string& error);

}  // namespace tamrix
